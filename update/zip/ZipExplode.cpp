// Method 6 ("implode"): LZ77 over a 4 KiB or 8 KiB window with up to three
// Shannon-Fano trees (literals when flag bit 2 is set, lengths, distances).
// Each tree is sent as run lengths of bit lengths; the codes it defines are
// the canonical ones of those lengths, stored with every bit inverted and
// read first bit first.
#include <array>

#include "update/zip/TZipBitReader.h"
#include "update/zip/ZipDecoders.h"

namespace lg {
namespace {

constexpr unsigned kMaxCodeBits = 16;

class TShannonFanoTree {
 public:
  // Reads the tree of `symbols` symbols from the stream. False for a tree
  // whose runs do not cover exactly `symbols` symbols or whose codes
  // over-subscribe the code space.
  bool Read(TZipBitReader& bits, unsigned symbols) {
    uint32_t bytes;
    if (!bits.Byte(bytes)) return false;
    std::array<uint8_t, 256> lengths{};
    unsigned filled = 0;
    for (uint32_t i = 0; i <= bytes; ++i) {
      uint32_t b;
      if (!bits.Byte(b)) return false;
      const unsigned length = (b & 0x0F) + 1, run = (b >> 4) + 1;
      if (filled + run > symbols) return false;
      for (unsigned k = 0; k < run; ++k) lengths[filled++] = static_cast<uint8_t>(length);
    }
    if (filled != symbols) return false;
    count_.fill(0);
    for (unsigned s = 0; s < symbols; ++s) ++count_[lengths[s]];
    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
      left = left * 2 - count_[len];
      if (left < 0) return false;
    }
    std::array<uint16_t, kMaxCodeBits + 1> offsets{};
    for (unsigned len = 1; len < kMaxCodeBits; ++len) offsets[len + 1] = offsets[len] + count_[len];
    for (unsigned s = 0; s < symbols; ++s) symbol_[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
    return true;
  }

  // Canonical decoding one bit at a time (codes are at most 16 bits).
  bool Decode(TZipBitReader& bits, uint32_t& symbol) const {
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
      uint32_t bit;
      if (!bits.Bits(1, bit)) return false;
      code |= static_cast<int>(bit ^ 1u);
      const int count = count_[len];
      if (code - first < count) {
        symbol = symbol_[static_cast<size_t>(index + code - first)];
        return true;
      }
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return false;  // an incomplete tree's unused code
  }

 private:
  std::array<uint16_t, kMaxCodeBits + 1> count_{};
  std::array<uint16_t, 256> symbol_{};
};

}  // namespace

bool ZipExplode(IZipByteSource& in, TZipOutWindow& out, uint16_t flags) {
  const bool bigWindow = (flags & 0x02) != 0;
  const bool literalTree = (flags & 0x04) != 0;
  TZipBitReader bits(in);
  if (out.Full()) return out.Flush();
  TShannonFanoTree literals, lengths, distances;
  if (literalTree && !literals.Read(bits, 256)) return false;
  if (!lengths.Read(bits, 64) || !distances.Read(bits, 64)) return false;
  const unsigned lowDistanceBits = bigWindow ? 7 : 6;
  const uint32_t minLength = literalTree ? 3 : 2;

  while (!out.Full()) {
    uint32_t isLiteral;
    if (!bits.Bits(1, isLiteral)) return false;
    if (isLiteral) {
      uint32_t c;
      if (literalTree ? !literals.Decode(bits, c) : !bits.Byte(c)) return false;
      if (!out.Put(static_cast<uint8_t>(c))) return false;
      continue;
    }
    uint32_t low, high, length;
    if (!bits.Bits(lowDistanceBits, low) || !distances.Decode(bits, high) || !lengths.Decode(bits, length))
      return false;
    if (length == 63) {
      uint32_t more;
      if (!bits.Byte(more)) return false;
      length += more;
    }
    length += minLength;
    const uint32_t distance = ((high << lowDistanceBits) | low) + 1;
    if (!out.Copy(distance, length)) return false;
  }
  return out.Flush();
}

}  // namespace lg
