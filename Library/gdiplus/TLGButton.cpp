#include "Library/gdiplus/TLGButton.h"

#include "Library/gdiplus/DrawHelpers.h"

namespace lg::skin {

TLGButton::TLGButton(IControlParent* parent) : TLGButtonBase(parent) {}

TLGButton::~TLGButton() = default;

void TLGButton::SetImage(int index, std::unique_ptr<Gdiplus::Image> image) {
  if (index < 0 || index > kCornerImage) return;
  images_[index] = std::move(image);
}

Gdiplus::Image* TLGButton::Image(int index) const {
  return index >= 0 && index <= kCornerImage ? images_[index].get() : nullptr;
}

bool TLGButton::LoadGlyph(const std::string& name) {
  const std::string path = ResolveGlyphPath(name, Parent() != nullptr ? Parent()->LauncherFolder() : std::string());
  if (path.empty()) return false;
  std::unique_ptr<Gdiplus::Bitmap> strip = BitmapFromFile(path);
  if (!strip) return false;
  auto cells = CutGlyphStrip(*strip, false);
  for (int k = 0; k < 4; ++k) images_[k] = std::move(cells[k]);
  return true;
}

void TLGButton::DrawGP(Gdiplus::Graphics* g) {
  if (!Visible() || g == nullptr) return;
  g->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  const bool has[4] = {images_[0] != nullptr, images_[1] != nullptr, images_[2] != nullptr, images_[3] != nullptr};
  const int s = ButtonDrawState(VisualState(), has);
  if (Gdiplus::Image* img = images_[s].get()) {
    // Pixel centres at half offsets: a stretched image covers the last row
    // and column of the bounds too (the default offset leaves them empty).
    const Gdiplus::PixelOffsetMode offset = g->GetPixelOffsetMode();
    g->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g->DrawImage(img, Gdiplus::RectF(Left(), Top(), Width(), Height()), 0, 0, img->GetWidth(), img->GetHeight(),
                 Gdiplus::UnitPixel);
    g->SetPixelOffsetMode(offset);
    if (Gdiplus::Image* corner = images_[kCornerImage].get()) {
      const int cw = static_cast<int>(corner->GetWidth());
      g->DrawImage(corner, Left() + Width() - cw, Top(), cw, static_cast<int>(corner->GetHeight()));
    }
  }
  if (WideText().empty()) return;
  Gdiplus::SolidBrush brush(Gdiplus::Color(ArgbFromFontColor(Font().Color)));
  const int shift = ButtonTextShift(s);
  Gdiplus::RectF rect(Left() + shift, Top() + 1 + shift, Width(), Height());
  auto format = MakeTextFormat();
  format->SetAlignment(Gdiplus::StringAlignmentCenter);
  format->SetLineAlignment(Gdiplus::StringAlignmentCenter);
  auto font = MakeControlFont(Font().Name, Font().Size, Font().Bold);
  if (!font) return;
  g->DrawString(Wide(WideText()), static_cast<INT>(WideText().size()), font.get(), rect, format.get(), &brush);
}

void TLGButton::Paint(HDC dc) {
  if (images_[VisualState()]) {
    Gdiplus::Graphics g(dc);
    DrawGP(&g);
    return;
  }
  if (Enabled()) {
    PaintPlainFrame(dc, *this, GetSysColor(COLOR_BTNHIGHLIGHT), static_cast<long>(GetSysColor(COLOR_BTNSHADOW)));
  } else {
    PaintPlainFrame(dc, *this, RGB(0x80, 0x80, 0x80), -1);
  }
  PaintPlainText(dc, *this, Caption(), Enabled() ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
}

}  // namespace lg::skin
