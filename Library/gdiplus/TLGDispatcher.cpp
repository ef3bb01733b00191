#include "Library/gdiplus/TLGDispatcher.h"

#include <algorithm>

namespace lg::skin {

void TLGDispatcher::Add(TLGControl* control) {
  if (control == nullptr || std::find(children_.begin(), children_.end(), control) != children_.end()) return;
  children_.push_back(control);
}

void TLGDispatcher::Remove(TLGControl* control) {
  children_.erase(std::remove(children_.begin(), children_.end(), control), children_.end());
  if (hover_ == control) hover_ = nullptr;
  if (capture_ == control) capture_ = nullptr;
}

TLGControl* TLGDispatcher::ControlAt(int x, int y, bool allowDisabled) const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    TLGControl* c = *it;
    if (c->Visible() && (allowDisabled || c->Enabled()) && c->Contains(x, y)) return c;
  }
  return nullptr;
}

void TLGDispatcher::SetHover(TLGControl* control) {
  if (control == hover_) return;
  TLGControl* old = hover_;
  hover_ = control;
  if (old != nullptr) old->MouseLeave();
  if (control != nullptr) control->MouseEnter();
}

TLGControl* TLGDispatcher::MouseDown(TMouseButton button, int x, int y) {
  TLGControl* target = capture_ != nullptr ? capture_ : ControlAt(x, y, false);
  if (target == nullptr) return nullptr;
  if (button == TMouseButton::Left) capture_ = target;
  target->MouseDown(button, x - target->Left(), y - target->Top());
  return target;
}

bool TLGDispatcher::MouseUp(TMouseButton button, int x, int y) {
  TLGControl* target = capture_ != nullptr ? capture_ : ControlAt(x, y, false);
  if (target == nullptr) return false;
  const bool pressed = button == TMouseButton::Left && target == capture_;
  if (button == TMouseButton::Left) capture_ = nullptr;
  target->MouseUp(button, x - target->Left(), y - target->Top());
  // The release handler may have hidden or removed the control: only a
  // control still registered, visible and under the pointer is clicked.
  const bool click = pressed && std::find(children_.begin(), children_.end(), target) != children_.end() &&
                     target->Visible() && target->Enabled() && target->Contains(x, y);
  // With the capture gone the pointer may be over another control.
  MouseMove(x, y);
  // Last: a click handler may close the window that owns this dispatcher.
  if (click) target->Click();
  return true;
}

void TLGDispatcher::MouseMove(int x, int y) {
  // While the left button is held only the captured control can be entered.
  TLGControl* under = capture_ != nullptr ? (capture_->Contains(x, y) ? capture_ : nullptr) : ControlAt(x, y, true);
  SetHover(under);
  if (TLGControl* target = capture_ != nullptr ? capture_ : under)
    target->MouseMove(x - target->Left(), y - target->Top());
}

void TLGDispatcher::MouseLeaveWindow() {
  if (capture_ == nullptr) SetHover(nullptr);
}

void TLGDispatcher::CaptureLost() {
  TLGControl* c = capture_;
  capture_ = nullptr;
  if (c != nullptr) c->CancelMode();
}

}  // namespace lg::skin
