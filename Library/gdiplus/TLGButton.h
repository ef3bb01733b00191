// The four-state image button: state images 0 normal, 1 active (hover),
// 2 down, 3 disable, and an optional corner image (4) drawn at the top
// right, stretched to the bounds, with the wide text centred over them.
// The button owns its images and frees them when they are replaced or when
// it goes. Windows only; user-interface thread only.
#pragma once

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGButtonBase.h"

namespace lg::skin {

class TLGButton : public TLGButtonBase, public ILGSelfPaint {
 public:
  explicit TLGButton(IControlParent* parent = nullptr);
  ~TLGButton() override;

  // Takes `image` for index 0..4, freeing the one held there; other indices
  // free `image`.
  void SetImage(int index, std::unique_ptr<Gdiplus::Image> image);
  Gdiplus::Image* Image(int index) const;

  void DrawGP(Gdiplus::Graphics* g) override;
  void Paint(HDC dc) override;

 protected:
  bool LoadGlyph(const std::string& name) override;

 private:
  std::unique_ptr<Gdiplus::Image> images_[5];
};

}  // namespace lg::skin
