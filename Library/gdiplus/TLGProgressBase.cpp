#include "Library/gdiplus/TLGProgressBase.h"

#include <cstdio>

namespace lg::skin {

TLGProgressBase::TLGProgressBase(IControlParent* parent) : TLGControl(parent) {}

void TLGProgressBase::SetMax(int64_t v) {
  if (v == max_ || v <= min_) return;
  max_ = v;
  if (position_ > max_) position_ = max_;
  Repaint();
}

void TLGProgressBase::SetMin(int64_t v) {
  if (v == min_ || v < 0 || v >= max_) return;
  min_ = v;
  if (position_ < min_) position_ = min_;
  Repaint();
}

void TLGProgressBase::SetPosition(int64_t v) {
  if (v == position_ || v < min_ || v > max_) return;
  position_ = v;
  Repaint();
}

void TLGProgressBase::SetXOffset(int32_t v) {
  if (v == xOffset_) return;
  xOffset_ = v;
  Repaint();
}

void TLGProgressBase::SetGlyph(TGlyph which, std::string& stored, const std::string& name) {
  if (name == stored) return;
  if (!LoadGlyph(which, name)) return;
  stored = name;
  Repaint();
}

bool TLGProgressBase::LoadGlyph(TGlyph, const std::string&) {
  return false;
}

std::string ProgressPercentText(const std::string& caption, int64_t position, int64_t max) {
  char buf[64];
  const double percent = max != 0 ? static_cast<double>(position) / static_cast<double>(max) * 100.0 : 0.0;
  std::snprintf(buf, sizeof buf, "%.2f%%", percent);
  return caption + buf;
}

}  // namespace lg::skin
