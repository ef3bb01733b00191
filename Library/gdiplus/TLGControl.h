// The window-less widget layer under the skinned controls: a control is a
// rectangle in its parent window's client coordinates with a caption, a
// font, visibility, an enabled flag and mouse events. The parent window
// owns the controls, hands them mouse input through one TLGDispatcher and
// composes its picture by calling PaintTo on each child in child order.
//
// A control never paints on its own once the parent has painted it: it asks
// for a new picture by posting the repaint request (kRepaintRequest, the
// control as WParam) to the parent, so a change made anywhere reaches the
// screen through the window's composition pass.
//
// User-interface thread only. The parent outlives its controls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Gdiplus {
class Graphics;
}

namespace lg::skin {

// WM_USER + 1000: "recompose, this control changed".
inline constexpr uint32_t kRepaintRequest = 0x400 + 1000;

// What a control needs from the window it lives on. The main window and the
// tests implement it.
class IControlParent {
 public:
  virtual ~IControlParent() = default;
  // Post (never send) a window message to the parent window.
  virtual void PostToParent(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  // The platform's own repaint of a part of the parent, for controls that
  // the parent has not composed yet.
  virtual void InvalidateArea(int left, int top, int width, int height) = 0;
  // The launcher's folder with a trailing backslash (glyph files are looked
  // up there when the name is not a path that exists).
  virtual std::string LauncherFolder() const = 0;
};

enum class TAlignment { LeftJustify, RightJustify, Center };
enum class TMouseButton { Left, Right, Middle };

struct TLGFont {
  std::u16string Name = u"宋体";
  int Size = 9;  // points
  // 0x00BBGGRR as stored; system colours (high byte set) are not looked up.
  uint32_t Color = 0;
  bool Bold = false;
};

class TLGControl;
using TNotifyEvent = std::function<void(TLGControl* sender)>;
using TMouseEvent = std::function<void(TLGControl* sender, TMouseButton button, int x, int y)>;

class TLGControl {
 public:
  explicit TLGControl(IControlParent* parent = nullptr);
  virtual ~TLGControl() = default;
  TLGControl(const TLGControl&) = delete;
  TLGControl& operator=(const TLGControl&) = delete;

  IControlParent* Parent() const { return parent_; }
  void SetParent(IControlParent* parent) { parent_ = parent; }

  // Bounds in the parent's client coordinates.
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  void SetBounds(int left, int top, int width, int height);
  bool Contains(int x, int y) const { return x >= left_ && y >= top_ && x < left_ + width_ && y < top_ + height_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);

  // 8-bit (GBK) caption, as the platform label carries it.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& text);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  const TLGFont& Font() const { return font_; }
  void SetFont(const TLGFont& f);
  int Tag() const { return tag_; }
  void SetTag(int t) { tag_ = t; }

  // Set by the first PaintTo: from then on repaints are requests to the parent.
  bool ParentPainted() const { return parentPainted_; }
  // Draws the control into the parent's picture (marks it parent-painted).
  void PaintTo(Gdiplus::Graphics* g);
  virtual void DrawGP(Gdiplus::Graphics* g) = 0;

  // Posts the repaint request when parent-painted, else the platform repaint.
  // Nothing happens without a parent.
  void Repaint();
  // The platform's invalidation: nothing, the parent composes everything.
  void Invalidate() {}

  // Mouse input from the dispatcher; x and y are in the control's own
  // coordinates. Overrides call the base first (it runs the events).
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void MouseDown(TMouseButton button, int x, int y);
  virtual void MouseUp(TMouseButton button, int x, int y);
  virtual void MouseMove(int x, int y);
  virtual void Click();
  // The mouse capture was taken away while the left button was down.
  virtual void CancelMode() {}

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnClick;

 protected:
  // The designed size at creation, without a repaint (the parent may not
  // have a window yet).
  void InitSize(int width, int height) {
    width_ = width;
    height_ = height;
  }
  // The reaction to a caption change: the label's own (nothing to lay out
  // here), then the repaint request when parent-painted.
  virtual void TextChanged();
  // Visibility, enabled state, bounds or font changed.
  virtual void Changed() { Repaint(); }

 private:
  IControlParent* parent_;
  int left_ = 0, top_ = 0, width_ = 65, height_ = 17;
  bool visible_ = true;
  bool enabled_ = true;
  std::string caption_;
  TAlignment alignment_ = TAlignment::LeftJustify;
  TLGFont font_;
  int tag_ = 0;
  bool parentPainted_ = false;
};

// ---- Rules shared by the drawing classes (pure functions) ----------------

// Opaque ARGB from a stored font colour: red, green and blue are its low,
// middle and high bytes as stored (no system-colour lookup).
uint32_t ArgbFromFontColor(uint32_t color);
// Rounded a * b / c as the Windows MulDiv does (-1 when c is 0).
int MulDiv(int a, int b, int c);
// The font description's height for a point size on a 96-dpi screen.
inline int FontHeightFromSize(int size) {
  return -MulDiv(size, 96, 72);
}

// Where a glyph file is looked for: `name` itself when that file exists,
// else `folder` + `name` when that exists; empty when neither does.
std::string ResolveGlyphPath(const std::string& name, const std::string& folder);

// Horizontal placement of a label's text.
enum class TTextAlign { Near, Center, Far };
TTextAlign LabelHorizontalAlign(TAlignment alignment);

}  // namespace lg::skin
