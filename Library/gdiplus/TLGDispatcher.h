// Mouse input for the window-less controls of one parent window. The parent
// owns one dispatcher, registers its controls in child order (the last one
// added lies on top) and forwards its client-area mouse messages here; the
// dispatcher hit-tests by rectangle, tracks which control the pointer is in
// (enter/leave), keeps the control that took the left button as capture
// until the button comes up, and turns press and release over the same
// control into a click.
//
// Pointer tracking also sees disabled controls (a disabled button still
// knows the pointer is over it); presses go only to enabled ones, so a press
// on a disabled control reaches whatever lies under it, or the window.
//
// User-interface thread only. The dispatcher does not own the controls;
// Remove a control before it is destroyed.
#pragma once

#include <vector>

#include "Library/gdiplus/TLGControl.h"

namespace lg::skin {

class TLGDispatcher {
 public:
  void Add(TLGControl* control);
  void Remove(TLGControl* control);
  // Child order: the order PaintTo is called in, bottom first.
  const std::vector<TLGControl*>& Children() const { return children_; }

  // The top-most visible control at (x, y); enabled ones only unless
  // `allowDisabled`.
  TLGControl* ControlAt(int x, int y, bool allowDisabled) const;

  // Client coordinates of the parent. MouseDown returns the control that got
  // the press, or null when the window itself should handle it (dragging).
  TLGControl* MouseDown(TMouseButton button, int x, int y);
  // Returns true when a control handled the release. The click, if any, is
  // the last thing it does, so its handler may destroy the dispatcher.
  bool MouseUp(TMouseButton button, int x, int y);
  void MouseMove(int x, int y);
  // The pointer left the window.
  void MouseLeaveWindow();
  // The window lost the mouse capture (another window took it).
  void CaptureLost();

  // The control holding the left-button capture; the parent keeps the
  // system capture while this is set.
  TLGControl* Capture() const { return capture_; }
  TLGControl* Hover() const { return hover_; }

 private:
  void SetHover(TLGControl* control);

  std::vector<TLGControl*> children_;
  TLGControl* hover_ = nullptr;
  TLGControl* capture_ = nullptr;
};

}  // namespace lg::skin
