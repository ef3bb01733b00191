#include "Library/gdiplus/SkinGeometry.h"

#include <algorithm>

namespace lg::skin {

std::array<TRectI, 4> GlyphCells(int width, int height, bool vertical) {
  std::array<TRectI, 4> cells{};
  width = std::max(width, 0);
  height = std::max(height, 0);
  for (int k = 0; k < 4; ++k) {
    if (vertical) {
      const int h = height / 4;
      cells[k] = {0, k * h, width, h};
    } else {
      const int w = width / 4;
      cells[k] = {k * w, 0, w, height};
    }
  }
  return cells;
}

TProgressLayout ProgressLayout(const TProgressInput& in) {
  TProgressLayout out;
  const float x = static_cast<float>(in.left + in.xOffset);
  const float y = static_cast<float>(in.top);
  const float w = static_cast<float>(in.width);

  if (in.hasBackground) {
    const float bh = static_cast<float>(in.background.h);
    // Source as wide as the bar: the tiling wrap mode repeats the image.
    out.background = {true, {x, y, w, bh}, {0, 0, w, bh}};
  }

  // Single precision, as the bar has always computed it; a zero Max (never
  // accepted by the setters) draws no fill instead of dividing by zero.
  const float ratio = in.max != 0 ? static_cast<float>(in.position) / static_cast<float>(in.max) : 0.0f;
  const float fill = w * ratio;
  out.fill = fill;

  const float sw = static_cast<float>(in.step.w);
  const float sh = static_cast<float>(in.step.h);
  const float revealed = std::min(static_cast<float>(static_cast<int64_t>(fill)), sw);
  out.step = {true, {x, y, fill, sh}, {0, 0, revealed, sh}};

  if (in.hasBorder) {
    const float bw = static_cast<float>(in.border.w);
    const float bh = static_cast<float>(in.border.h);
    if (bw > fill) {
      out.border = {true, {x, y, fill, bh}, {bw - fill, 0, fill, bh}};
    } else {
      out.border = {true, {x + fill - bw, y, bw, bh}, {0, 0, bw, bh}};
    }
  }
  return out;
}

}  // namespace lg::skin
