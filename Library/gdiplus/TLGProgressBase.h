// The rules of the skinned progress bar that do not draw: Min, Max and
// Position with their acceptance rules (Min <= Position <= Max, Min >= 0,
// Min < Max; a value that would break them is ignored, never clamped), the
// horizontal offset and the image names. TLGProgress2 (GDI+) adds the
// images and draws the fill with ProgressLayout.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "Library/gdiplus/TLGControl.h"

namespace lg::skin {

class TLGProgressBase : public TLGControl {
 public:
  explicit TLGProgressBase(IControlParent* parent = nullptr);

  int64_t Position() const { return position_; }
  int64_t Min() const { return min_; }
  int64_t Max() const { return max_; }
  void SetPosition(int64_t v);
  void SetMin(int64_t v);
  void SetMax(int64_t v);

  int32_t XOffset() const { return xOffset_; }
  void SetXOffset(int32_t v);

  const std::string& StepGlyph() const { return stepGlyph_; }
  const std::string& BorderGlyph() const { return borderGlyph_; }
  const std::string& BkgGlyph() const { return bkgGlyph_; }
  // A different name is stored only when its image loaded.
  void SetStepGlyph(const std::string& name) { SetGlyph(TGlyph::Step, stepGlyph_, name); }
  void SetBorderGlyph(const std::string& name) { SetGlyph(TGlyph::Border, borderGlyph_, name); }
  void SetBkgGlyph(const std::string& name) { SetGlyph(TGlyph::Background, bkgGlyph_, name); }

 protected:
  enum class TGlyph { Step, Border, Background };
  // Loads the named image into slot `which`; false when no file was found.
  virtual bool LoadGlyph(TGlyph which, const std::string& name);

 private:
  void SetGlyph(TGlyph which, std::string& stored, const std::string& name);

  int64_t position_ = 0;
  int64_t min_ = 0;
  int64_t max_ = 100;
  int32_t xOffset_ = 0;
  std::string stepGlyph_, borderGlyph_, bkgGlyph_;
};

// The text of the bar drawn without images: caption, then Position / Max
// as a percentage with two decimals ("进度50.00%").
std::string ProgressPercentText(const std::string& caption, int64_t position, int64_t max);

}  // namespace lg::skin
