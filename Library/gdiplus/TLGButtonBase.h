// The rules of the skinned image button that do not draw: the down and hover
// flags moved by the mouse, the visual state with its precedence, the text
// and the glyph-strip name. TLGButton (GDI+) adds the images and drawing.
//
// User-interface thread only.
#pragma once

#include <string>

#include "Library/gdiplus/TLGControl.h"

namespace lg::skin {

// State image indices.
inline constexpr int kStateNormal = 0;
inline constexpr int kStateActive = 1;  // hover
inline constexpr int kStateDown = 2;
inline constexpr int kStateDisable = 3;
inline constexpr int kCornerImage = 4;

// Disabled beats down, down beats hover, else normal.
int ButtonVisualState(bool enabled, bool down, bool hover);
// The state whose image is drawn: the visual state when it has an image,
// else the normal one.
int ButtonDrawState(int visualState, const bool (&hasImage)[4]);
// The text moves one pixel right and down only while the down image is drawn.
inline int ButtonTextShift(int drawState) {
  return drawState == kStateDown ? 1 : 0;
}

class TLGButtonBase : public TLGControl {
 public:
  explicit TLGButtonBase(IControlParent* parent = nullptr);

  bool Down() const { return down_; }
  bool Hovered() const { return hover_; }
  int VisualState() const { return ButtonVisualState(Enabled(), down_, hover_); }

  const std::u16string& WideText() const { return wideText_; }
  void SetWideText(const std::u16string& text);

  const std::string& ButtonGlyph() const { return buttonGlyph_; }
  // Stores a different name and asks LoadGlyph to cut the strip.
  void SetButtonGlyph(const std::string& name);

  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton button, int x, int y) override;
  void MouseUp(TMouseButton button, int x, int y) override;
  void CancelMode() override;

 protected:
  // Loads the glyph strip named `name` into the state images; false when no
  // file was found (the images stay). The base has no images.
  virtual bool LoadGlyph(const std::string& name);
  // A caption change does nothing for a button.
  void TextChanged() override {}

 private:
  bool down_ = false;
  bool hover_ = false;
  std::string buttonGlyph_;
  std::u16string wideText_;
};

}  // namespace lg::skin
