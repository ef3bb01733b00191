#include "update/StrongDigest.h"

#include <type_traits>

namespace lg {
namespace {

constexpr size_t kDigits = 64;

// The loops below run over all 64 digits without an early exit and without
// a branch per digit, so that the compiler can keep them in vector
// registers: every second pass makes them for each installed file.

template <typename Char>
unsigned Unit(Char c) {
  return static_cast<std::make_unsigned_t<Char>>(c);
}

template <typename Char>
bool AllHexDigits(const Char* text) {
  unsigned bad = 0;
  for (size_t i = 0; i < kDigits; ++i) {
    const unsigned c = Unit(text[i]);
    // Wrapping subtractions: anything below "0" or "a" counts as far above.
    bad |= static_cast<unsigned>(c - '0' > 9) & static_cast<unsigned>((c | 0x20) - 'a' > 5);
  }
  return bad == 0;
}

// A digit's value; only for a unit AllHexDigits accepted ("0"-"9" have bit
// 6 clear, "A"-"F" and "a"-"f" have it set and count from 1).
unsigned DigitValue(unsigned c) {
  return (c & 0xF) + 9 * (c >> 6);
}

template <typename Char>
bool Parse(std::basic_string_view<Char> text, TStrongDigest& out) {
  out.Known = false;
  if (text.size() != kDigits || !AllHexDigits(text.data())) return false;
  for (size_t i = 0; i < out.Bytes.size(); ++i)
    out.Bytes[i] = static_cast<uint8_t>(DigitValue(Unit(text[2 * i])) << 4 | DigitValue(Unit(text[2 * i + 1])));
  out.Known = true;
  return true;
}

char LowerDigit(unsigned nibble) {
  return static_cast<char>('0' + nibble + (nibble > 9 ? 'a' - '0' - 10 : 0));
}

}  // namespace

bool ParseStrongDigest(std::string_view text, TStrongDigest& out) {
  return Parse(text, out);
}

bool ParseStrongDigest(std::u16string_view text, TStrongDigest& out) {
  return Parse(text, out);
}

bool SameStrongDigest(const TStrongDigest& digest, std::u16string_view text) {
  if (!digest.Known || text.size() != kDigits) return false;
  char expected[kDigits];
  StrongDigestText(digest, expected);
  // Each unit is the expected lowercase digit, or the same letter in
  // uppercase; nothing else passes, so the text need not be checked first.
  unsigned bad = 0;
  for (size_t i = 0; i < kDigits; ++i) {
    const unsigned e = Unit(expected[i]);
    const unsigned diff = Unit(text[i]) ^ e;
    bad |= static_cast<unsigned>(diff != 0) & (static_cast<unsigned>(diff != 0x20) | static_cast<unsigned>(e < 'a'));
  }
  return bad == 0;
}

std::string_view StrongDigestText(const TStrongDigest& digest, char (&out)[64]) {
  if (!digest.Known) return {};
  for (size_t i = 0; i < digest.Bytes.size(); ++i) {
    out[2 * i] = LowerDigit(digest.Bytes[i] >> 4);
    out[2 * i + 1] = LowerDigit(digest.Bytes[i] & 15u);
  }
  return {out, sizeof out};
}

std::string StrongDigestText(const TStrongDigest& digest) {
  char text[64];
  return std::string(StrongDigestText(digest, text));
}

}  // namespace lg
