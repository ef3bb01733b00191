// Geometry of the skinned drawing as pure functions: the cells of a glyph
// strip and the source and destination rectangles of the progress bar's
// background, fill and end cap. The GDI+ classes draw exactly what these
// return, so the native tests pin the pixels' placement.
#pragma once

#include <array>
#include <cstdint>

namespace lg::skin {

struct TRectI {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const TRectI&) const = default;
};
struct TRectF {
  float x = 0, y = 0, w = 0, h = 0;
  bool operator==(const TRectF&) const = default;
};

// The four state cells of a strip of `width` x `height` pixels: side by side
// (normal, active, down, disable; each width / 4 wide, full height) or, when
// `vertical`, stacked (each height / 4 high). A remainder is left unused.
std::array<TRectI, 4> GlyphCells(int width, int height, bool vertical);

struct TSize {
  int w = 0, h = 0;
};

// One image draw: into `dest` from `source` of the image.
struct TImageDraw {
  bool draw = false;
  TRectF dest;
  TRectF source;
};

struct TProgressLayout {
  float fill = 0;         // fill width in pixels
  TImageDraw background;  // tiled where the bar is wider than the image
  TImageDraw step;        // revealed unscaled up to its width, then stretched
  TImageDraw border;      // end cap whose right edge meets the fill's end
};

struct TProgressInput {
  int left = 0, top = 0, width = 0;
  int32_t xOffset = 0;
  int64_t position = 0, max = 100;
  TSize step;  // the step image must exist
  bool hasBackground = false;
  TSize background;
  bool hasBorder = false;
  TSize border;
};

// The bar's draws; the fill is Width x (Position / Max) in single precision
// (Min plays no part).
TProgressLayout ProgressLayout(const TProgressInput& in);

}  // namespace lg::skin
