#include "Library/gdiplus/TLGPicture.h"

#include "Library/gdiplus/DrawHelpers.h"

namespace lg::skin {

TLGPicture::~TLGPicture() = default;

void TLGPicture::SetImage(std::unique_ptr<Gdiplus::Image> image) {
  image_ = std::move(image);
  Repaint();
}

void TLGPicture::DrawGP(Gdiplus::Graphics* g) {
  if (!Visible() || g == nullptr || !image_) return;
  Gdiplus::ImageAttributes attributes;
  attributes.SetWrapMode(Gdiplus::WrapModeTile, Gdiplus::Color(0xFF000000), FALSE);
  const auto w = static_cast<Gdiplus::REAL>(image_->GetWidth());
  const auto h = static_cast<Gdiplus::REAL>(image_->GetHeight());
  g->DrawImage(image_.get(), Gdiplus::RectF(Left(), Top(), w, h), 0, 0, w, h, Gdiplus::UnitPixel, &attributes);
}

void TLGPicture::Paint(HDC dc) {
  if (image_) {
    Gdiplus::Graphics g(dc);
    PaintTo(&g);
    return;
  }
  PaintPlainFrame(dc, *this, GetSysColor(COLOR_BTNSHADOW), static_cast<long>(GetSysColor(COLOR_BTNHIGHLIGHT)));
}

}  // namespace lg::skin
