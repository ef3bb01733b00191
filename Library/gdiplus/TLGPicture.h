// A plain skinned image drawn at its natural size at the control's top-left
// corner. The picture owns its image. Windows only; user-interface thread.
#pragma once

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGControl.h"

namespace lg::skin {

class TLGPicture : public TLGControl, public ILGSelfPaint {
 public:
  explicit TLGPicture(IControlParent* parent = nullptr) : TLGControl(parent) {}
  ~TLGPicture() override;

  // Frees the previous image, takes `image`, repaints.
  void SetImage(std::unique_ptr<Gdiplus::Image> image);
  Gdiplus::Image* Image() const { return image_.get(); }

  void DrawGP(Gdiplus::Graphics* g) override;
  void Paint(HDC dc) override;

 private:
  std::unique_ptr<Gdiplus::Image> image_;
};

}  // namespace lg::skin
