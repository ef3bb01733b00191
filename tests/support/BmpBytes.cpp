#include "tests/support/BmpBytes.h"

namespace lg::test {
namespace {

void Put(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string SolidBmp(int width, int height, uint32_t argb) {
  const uint32_t pixels = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;
  std::string out = "BM";
  Put(out, 14 + 40 + pixels, 4);
  Put(out, 0, 4);
  Put(out, 14 + 40, 4);
  Put(out, 40, 4);
  Put(out, static_cast<uint32_t>(width), 4);
  Put(out, static_cast<uint32_t>(-height), 4);  // top-down
  Put(out, 1, 2);
  Put(out, 32, 2);
  Put(out, 0, 4);  // BI_RGB
  Put(out, pixels, 4);
  Put(out, 2835, 4);
  Put(out, 2835, 4);
  Put(out, 0, 4);
  Put(out, 0, 4);
  out.reserve(out.size() + pixels);
  for (uint32_t i = 0; i < pixels / 4; ++i) Put(out, argb | 0xFF000000u, 4);  // B G R A
  return out;
}

}  // namespace lg::test
