// Off-screen drawing for the controls' rendering tests: GDI+ started once for
// the suite, a 32bpp ARGB canvas cleared to a known colour, images with
// known colour columns, and pixel reads. Windows build only.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGControl.h"

namespace lg::skin::test {

inline constexpr uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00,
                          kBlue = 0xFF0000FF, kGrey = 0xFF808080, kYellow = 0xFFFFFF00, kMagenta = 0xFFFF00FF,
                          kCanvas = 0xFF203040;

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  // A canvas of w x h cleared to kCanvas (or `clear`), `control` painted into
  // it with PaintTo.
  std::unique_ptr<Gdiplus::Bitmap> Render(TLGControl& control, int w, int h, uint32_t clear = kCanvas);
  static uint32_t Pixel(Gdiplus::Bitmap& bitmap, int x, int y);

  // An image of `h` rows made of colour columns: each pair is (width, colour).
  static std::unique_ptr<Gdiplus::Bitmap> Columns(int h, std::initializer_list<std::pair<int, uint32_t>> columns);
  static std::unique_ptr<Gdiplus::Bitmap> Solid(int w, int h, uint32_t argb) { return Columns(h, {{w, argb}}); }
  // The bytes of `bitmap` encoded as a PNG file; the encoder's class id.
  static std::string EncodePng(Gdiplus::Bitmap& bitmap);
  static CLSID PngEncoder();

  // Bounding box of the pixels for which `match` holds; w == 0 when none.
  struct TBox {
    int x = 0, y = 0, w = 0, h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
  };
  template <class Match>
  static TBox Find(Gdiplus::Bitmap& bitmap, Match match) {
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
    for (int y = 0; y < static_cast<int>(bitmap.GetHeight()); ++y) {
      for (int x = 0; x < static_cast<int>(bitmap.GetWidth()); ++x) {
        if (!match(Pixel(bitmap, x, y))) continue;
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
    }
    if (x1 < 0) return {};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
  }

 private:
  static TGdiplusSession* session_;
};

// Channel helpers for anti-aliased text checks.
inline int Red(uint32_t c) {
  return (c >> 16) & 0xFF;
}
inline int Green(uint32_t c) {
  return (c >> 8) & 0xFF;
}
inline int Blue(uint32_t c) {
  return c & 0xFF;
}

}  // namespace lg::skin::test
