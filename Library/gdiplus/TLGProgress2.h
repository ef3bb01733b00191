// The skinned progress bar: a background image tiled across the bar, a fill
// (step) image revealed from its left edge up to the fill width and
// stretched beyond its own width, and an end cap (border) whose right edge
// meets the end of the fill. The bar owns its three images. Windows only;
// user-interface thread only.
#pragma once

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGProgressBase.h"

namespace lg::skin {

class TLGProgress2 : public TLGProgressBase, public ILGSelfPaint {
 public:
  explicit TLGProgress2(IControlParent* parent = nullptr) : TLGProgressBase(parent) {}
  ~TLGProgress2() override;

  // Replace the image (freeing the old one) and repaint.
  void SetStepImage(std::unique_ptr<Gdiplus::Image> image);
  void SetBorderImage(std::unique_ptr<Gdiplus::Image> image);
  void SetBkgImage(std::unique_ptr<Gdiplus::Image> image);
  Gdiplus::Image* StepImage() const { return step_.get(); }
  Gdiplus::Image* BorderImage() const { return border_.get(); }
  Gdiplus::Image* BkgImage() const { return bkg_.get(); }

  void DrawGP(Gdiplus::Graphics* g) override;
  void Paint(HDC dc) override;

 protected:
  bool LoadGlyph(TGlyph which, const std::string& name) override;

 private:
  std::unique_ptr<Gdiplus::Image> step_, border_, bkg_;
};

}  // namespace lg::skin
