#include "update/StrongDigest.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace lg {
namespace {

constexpr size_t kDigits = 64;
constexpr uint16_t kNotDigit = 0x100;

// A digit's value by code unit, shifted for the first digit of a byte in
// High: a pair is one OR of two loads, above 0xFF when either unit is not a
// digit. Every second pass reads 64 digits for each installed file.
struct TPairTables {
  uint16_t High[256];
  uint16_t Low[256];
  constexpr TPairTables() : High(), Low() {
    for (int c = 0; c < 256; ++c) {
      int v = -1;
      if (c >= '0' && c <= '9') v = c - '0';
      if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
      High[c] = v < 0 ? kNotDigit : static_cast<uint16_t>(v << 4);
      Low[c] = v < 0 ? kNotDigit : static_cast<uint16_t>(v);
    }
  }
};
constexpr TPairTables kPairs;

template <typename Char>
unsigned PairValue(const Char* at) {
  const unsigned high = static_cast<std::make_unsigned_t<Char>>(at[0]);
  const unsigned low = static_cast<std::make_unsigned_t<Char>>(at[1]);
  if ((high | low) > 0xFF) return kNotDigit;  // never true for bytes
  return kPairs.High[high] | kPairs.Low[low];
}

template <typename Char>
bool Parse(std::basic_string_view<Char> text, TStrongDigest& out) {
  out.Known = false;
  if (text.size() != kDigits) return false;
  // No exit per pair: a pair that is not two digits sets a bit above 0xFF.
  unsigned seen = 0;
  for (size_t i = 0; i < out.Bytes.size(); ++i) {
    const unsigned value = PairValue(text.data() + 2 * i);
    seen |= value;
    out.Bytes[i] = static_cast<uint8_t>(value);
  }
  out.Known = seen <= 0xFF;
  return out.Known;
}

// A byte's two lowercase digits as UTF-16 in memory order (Text), and the
// one bit by which each may differ from the manifest's text: the case bit
// of a letter (Letters). One XOR and one mask per byte then compare a pair.
struct TWidePairs {
  uint32_t Text[256];
  uint32_t Letters[256];
  constexpr TWidePairs() : Text(), Letters() {
    for (int b = 0; b < 256; ++b) {
      const int high = b >> 4, low = b & 15;
      const std::array<char16_t, 2> text = {Digit(high), Digit(low)};
      const std::array<char16_t, 2> letters = {CaseBit(high), CaseBit(low)};
      Text[b] = std::bit_cast<uint32_t>(text);
      Letters[b] = std::bit_cast<uint32_t>(letters);
    }
  }
  static constexpr char16_t Digit(int v) { return static_cast<char16_t>(v < 10 ? u'0' + v : u'a' + v - 10); }
  static constexpr char16_t CaseBit(int v) { return static_cast<char16_t>(v < 10 ? 0 : 0x20); }
};
constexpr TWidePairs kWidePairs;

}  // namespace

bool ParseStrongDigest(std::string_view text, TStrongDigest& out) {
  return Parse(text, out);
}

bool ParseStrongDigest(std::u16string_view text, TStrongDigest& out) {
  return Parse(text, out);
}

bool SameStrongDigest(const TStrongDigest& digest, std::u16string_view text) {
  if (!digest.Known || text.size() != kDigits) return false;
  // Each unit is the expected lowercase digit or, for a letter, the same
  // letter in uppercase; any other unit leaves a bit outside the mask.
  uint32_t bad = 0;
  for (size_t i = 0; i < digest.Bytes.size(); ++i) {
    uint32_t pair;
    std::memcpy(&pair, text.data() + 2 * i, sizeof pair);
    const uint8_t byte = digest.Bytes[i];
    bad |= (pair ^ kWidePairs.Text[byte]) & ~kWidePairs.Letters[byte];
  }
  return bad == 0;
}

std::string_view StrongDigestText(const TStrongDigest& digest, char (&out)[64]) {
  if (!digest.Known) return {};
  static const char kLowerDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < digest.Bytes.size(); ++i) {
    out[2 * i] = kLowerDigits[digest.Bytes[i] >> 4];
    out[2 * i + 1] = kLowerDigits[digest.Bytes[i] & 15];
  }
  return {out, sizeof out};
}

std::string StrongDigestText(const TStrongDigest& digest) {
  char text[64];
  return std::string(StrongDigestText(digest, text));
}

}  // namespace lg
