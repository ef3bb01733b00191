#include "Library/gdiplus/TLGControl.h"

#include "common/Platform.h"

namespace lg::skin {

TLGControl::TLGControl(IControlParent* parent) : parent_(parent) {}

void TLGControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Changed();
}

void TLGControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

void TLGControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed();
}

void TLGControl::SetCaption(const std::string& text) {
  if (text == caption_) return;
  caption_ = text;
  TextChanged();
}

void TLGControl::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Changed();
}

void TLGControl::SetFont(const TLGFont& f) {
  font_ = f;
  Changed();
}

void TLGControl::PaintTo(Gdiplus::Graphics* g) {
  parentPainted_ = true;
  DrawGP(g);
}

void TLGControl::Repaint() {
  if (parent_ == nullptr) return;
  if (parentPainted_) {
    parent_->PostToParent(kRepaintRequest, reinterpret_cast<uintptr_t>(this), 0);
  } else {
    parent_->InvalidateArea(left_, top_, width_, height_);
  }
}

void TLGControl::TextChanged() {
  if (parentPainted_) Repaint();
}

void TLGControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TLGControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TLGControl::MouseDown(TMouseButton button, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, x, y);
}

void TLGControl::MouseUp(TMouseButton button, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, x, y);
}

void TLGControl::MouseMove(int, int) {}

void TLGControl::Click() {
  if (OnClick) OnClick(this);
}

uint32_t ArgbFromFontColor(uint32_t color) {
  const uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t p = static_cast<int64_t>(a) * b;
  // Round half away from zero, as the system function does.
  const int64_t half = (c < 0 ? -static_cast<int64_t>(c) : c) / 2;
  const bool negative = (p < 0) != (c < 0);
  const int64_t mag = ((p < 0 ? -p : p) + half) / (c < 0 ? -static_cast<int64_t>(c) : c);
  const int64_t r = negative ? -mag : mag;
  if (r > INT32_MAX || r < INT32_MIN) return -1;
  return static_cast<int>(r);
}

std::string ResolveGlyphPath(const std::string& name, const std::string& folder) {
  if (name.empty()) return {};
  if (plat::FileExists(name)) return name;
  const std::string joined = folder + name;
  if (plat::FileExists(joined)) return joined;
  return {};
}

TTextAlign LabelHorizontalAlign(TAlignment alignment) {
  return alignment == TAlignment::Center ? TTextAlign::Center : TTextAlign::Near;
}

}  // namespace lg::skin
