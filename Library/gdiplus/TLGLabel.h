// The skinned label: its wide text centred vertically (horizontally too when
// the alignment is centre, else at the left), anti-aliased, over a black
// shadow two pixels right and down. Windows only; user-interface thread.
#pragma once

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGLabelBase.h"

namespace lg::skin {

class TLGLabel : public TLGLabelBase, public ILGSelfPaint {
 public:
  explicit TLGLabel(IControlParent* parent = nullptr) : TLGLabelBase(parent) {}

  void DrawGP(Gdiplus::Graphics* g) override;
  void Paint(HDC dc) override;
};

}  // namespace lg::skin
