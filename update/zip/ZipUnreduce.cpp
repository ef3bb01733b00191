// Methods 2 to 5 ("reduce", compression factor 1 to 4). The stream starts
// with a follower set for every byte value, 255 down to 0: a 6-bit count
// (at most 32) and that many 8-bit bytes. Each byte is then either a 1 bit
// and a literal byte, or (when the previous byte has followers) a 0 bit and
// an index into its follower set. The decoded bytes form a second layer:
// byte 144 (DLE) escapes a match "DLE V [L] C", a literal 144 being "DLE 0".
#include <array>

#include "update/zip/TZipBitReader.h"
#include "update/zip/ZipDecoders.h"

namespace lg {
namespace {

constexpr uint8_t kDle = 144;

unsigned IndexBits(unsigned count) {
  if (count > 16) return 5;
  if (count > 8) return 4;
  if (count > 4) return 3;
  if (count > 2) return 2;
  return 1;
}

}  // namespace

bool ZipUnreduce(IZipByteSource& in, TZipOutWindow& out, int factor) {
  if (factor < 1 || factor > 4) return false;
  TZipBitReader bits(in);
  std::array<std::array<uint8_t, 32>, 256> followers{};
  std::array<uint8_t, 256> counts{};
  if (out.Full()) return out.Flush();
  for (int j = 255; j >= 0; --j) {
    uint32_t n;
    if (!bits.Bits(6, n) || n > 32) return false;
    counts[static_cast<size_t>(j)] = static_cast<uint8_t>(n);
    for (uint32_t k = 0; k < n; ++k) {
      uint32_t b;
      if (!bits.Byte(b)) return false;
      followers[static_cast<size_t>(j)][k] = static_cast<uint8_t>(b);
    }
  }

  const uint32_t lengthMask = 0x7Fu >> (factor - 1);
  const unsigned distanceShift = 8u - static_cast<unsigned>(factor);
  uint8_t last = 0;
  int state = 0;
  uint32_t v = 0, length = 0;
  while (!out.Full()) {
    uint32_t c;
    const unsigned n = counts[last];
    if (n == 0) {
      if (!bits.Byte(c)) return false;
    } else {
      uint32_t literal;
      if (!bits.Bits(1, literal)) return false;
      if (literal) {
        if (!bits.Byte(c)) return false;
      } else {
        uint32_t index;
        if (!bits.Bits(IndexBits(n), index) || index >= n) return false;
        c = followers[last][index];
      }
    }
    last = static_cast<uint8_t>(c);

    switch (state) {
      case 0:
        if (c != kDle) {
          if (!out.Put(static_cast<uint8_t>(c))) return false;
        } else {
          state = 1;
        }
        break;
      case 1:
        if (c == 0) {
          if (!out.Put(kDle)) return false;
          state = 0;
        } else {
          v = c;
          length = v & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += c;
        state = 3;
        break;
      default: {
        const uint32_t distance = ((v >> distanceShift) << 8) + c + 1;
        if (!out.Copy(distance, length + 3)) return false;
        state = 0;
        break;
      }
    }
  }
  return out.Flush();
}

}  // namespace lg
