// The rules of the skinned label that do not draw: the wide text and the
// label's own enter/leave events. TLGLabel (GDI+) draws it with a shadow.
//
// User-interface thread only.
#pragma once

#include <string>

#include "Library/gdiplus/TLGControl.h"

namespace lg::skin {

class TLGLabelBase : public TLGControl {
 public:
  explicit TLGLabelBase(IControlParent* parent = nullptr) : TLGControl(parent) {}

  // Only the wide text is drawn; the caption is not.
  const std::u16string& WideText() const { return wideText_; }
  void SetWideText(const std::u16string& text);

  // The label's own pointer events replace the inherited handling: they run
  // the label's OnMouseEnter / OnMouseLeave and nothing else.
  void MouseEnter() override;
  void MouseLeave() override;

 private:
  std::u16string wideText_;
};

}  // namespace lg::skin
