// Image files made in memory for the skin tests: a 32-bit BMP of one solid
// colour, which GDI+ decodes from memory like the deployment block's PNGs.
#pragma once

#include <cstdint>
#include <string>

namespace lg::test {

// A top-down 32-bit BI_RGB bitmap file, `argb`'s colour in every pixel
// (the alpha byte is not part of the format: the image is opaque).
std::string SolidBmp(int width, int height, uint32_t argb);

}  // namespace lg::test
