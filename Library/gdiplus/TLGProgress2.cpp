#include "Library/gdiplus/TLGProgress2.h"

#include "Library/gdiplus/DrawHelpers.h"
#include "Library/gdiplus/SkinGeometry.h"

namespace lg::skin {
namespace {

TSize SizeOf(Gdiplus::Image* image) {
  if (image == nullptr) return {};
  return {static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight())};
}

void Draw(Gdiplus::Graphics& g, Gdiplus::Image* image, const TImageDraw& d, Gdiplus::ImageAttributes& attributes) {
  if (!d.draw || image == nullptr || d.dest.w <= 0 || d.dest.h <= 0) return;
  g.DrawImage(image, Gdiplus::RectF(d.dest.x, d.dest.y, d.dest.w, d.dest.h), d.source.x, d.source.y, d.source.w,
              d.source.h, Gdiplus::UnitPixel, &attributes);
}

}  // namespace

TLGProgress2::~TLGProgress2() = default;

void TLGProgress2::SetStepImage(std::unique_ptr<Gdiplus::Image> image) {
  step_ = std::move(image);
  Repaint();
}

void TLGProgress2::SetBorderImage(std::unique_ptr<Gdiplus::Image> image) {
  border_ = std::move(image);
  Repaint();
}

void TLGProgress2::SetBkgImage(std::unique_ptr<Gdiplus::Image> image) {
  bkg_ = std::move(image);
  Repaint();
}

bool TLGProgress2::LoadGlyph(TGlyph which, const std::string& name) {
  const std::string path = ResolveGlyphPath(name, Parent() != nullptr ? Parent()->LauncherFolder() : std::string());
  if (path.empty()) return false;
  std::unique_ptr<Gdiplus::Bitmap> image = BitmapFromFile(path);
  if (!image) return false;
  switch (which) {
    case TGlyph::Step: step_ = std::move(image); break;
    case TGlyph::Border: border_ = std::move(image); break;
    case TGlyph::Background: bkg_ = std::move(image); break;
  }
  return true;
}

void TLGProgress2::DrawGP(Gdiplus::Graphics* g) {
  if (!Visible() || g == nullptr || !step_) return;
  TProgressInput in;
  in.left = Left();
  in.top = Top();
  in.width = Width();
  in.xOffset = XOffset();
  in.position = Position();
  in.max = Max();
  in.step = SizeOf(step_.get());
  in.hasBackground = bkg_ != nullptr;
  in.background = SizeOf(bkg_.get());
  in.hasBorder = border_ != nullptr;
  in.border = SizeOf(border_.get());
  const TProgressLayout layout = ProgressLayout(in);

  Gdiplus::ImageAttributes attributes;
  attributes.SetWrapMode(Gdiplus::WrapModeTile, Gdiplus::Color(0xFF000000), FALSE);
  Draw(*g, bkg_.get(), layout.background, attributes);
  // Mirrored edges keep the stretched fill from sampling past the image.
  attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY, Gdiplus::Color(0xFF000000), FALSE);
  Draw(*g, step_.get(), layout.step, attributes);
  Draw(*g, border_.get(), layout.border, attributes);
}

void TLGProgress2::Paint(HDC dc) {
  if (step_) {
    Gdiplus::Graphics g(dc);
    PaintTo(&g);
    return;
  }
  PaintPlainFrame(dc, *this, GetSysColor(COLOR_BTNSHADOW), static_cast<long>(GetSysColor(COLOR_BTNHIGHLIGHT)));
  PaintPlainText(dc, *this, ProgressPercentText(Caption(), Position(), Max()), GetSysColor(COLOR_BTNTEXT));
}

}  // namespace lg::skin
