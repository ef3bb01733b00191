#include "Library/gdiplus/TLGButtonBase.h"

namespace lg::skin {

int ButtonVisualState(bool enabled, bool down, bool hover) {
  if (!enabled) return kStateDisable;
  if (down) return kStateDown;
  if (hover) return kStateActive;
  return kStateNormal;
}

int ButtonDrawState(int visualState, const bool (&hasImage)[4]) {
  if (visualState < 0 || visualState > 3 || !hasImage[visualState]) return kStateNormal;
  return visualState;
}

TLGButtonBase::TLGButtonBase(IControlParent* parent) : TLGControl(parent) {
  InitSize(60, 20);
}

void TLGButtonBase::SetWideText(const std::u16string& text) {
  if (text == wideText_) return;
  wideText_ = text;
  Repaint();
}

void TLGButtonBase::SetButtonGlyph(const std::string& name) {
  if (name == buttonGlyph_) return;
  buttonGlyph_ = name;
  if (LoadGlyph(name)) Repaint();
}

bool TLGButtonBase::LoadGlyph(const std::string&) {
  return false;
}

void TLGButtonBase::MouseEnter() {
  TLGControl::MouseEnter();
  hover_ = true;
  Repaint();
}

void TLGButtonBase::MouseLeave() {
  TLGControl::MouseLeave();
  hover_ = false;
  Repaint();
}

void TLGButtonBase::MouseDown(TMouseButton button, int x, int y) {
  TLGControl::MouseDown(button, x, y);
  if (button != TMouseButton::Left) return;
  down_ = true;
  Repaint();
}

void TLGButtonBase::MouseUp(TMouseButton button, int x, int y) {
  TLGControl::MouseUp(button, x, y);
  if (button != TMouseButton::Left) return;
  down_ = false;
  Repaint();
}

void TLGButtonBase::CancelMode() {
  if (!down_) return;
  down_ = false;
  Repaint();
}

}  // namespace lg::skin
