#include "Library/gdiplus/TLGLabelBase.h"

namespace lg::skin {

void TLGLabelBase::SetWideText(const std::u16string& text) {
  if (text == wideText_) return;
  wideText_ = text;
  Repaint();
}

void TLGLabelBase::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TLGLabelBase::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

}  // namespace lg::skin
