#include "update/StrongDigest.h"

#include <type_traits>

namespace lg {
namespace {

constexpr uint8_t kNotHex = 0xFF;

// A digit's value by code unit, kNotHex for any other unit below 128: one
// load per digit on the comparison every second pass makes for each file.
struct THexTable {
  uint8_t Value[128];
  constexpr THexTable() : Value() {
    for (auto& v : Value) v = kNotHex;
    for (int i = 0; i < 10; ++i) Value['0' + i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 6; ++i) Value['a' + i] = Value['A' + i] = static_cast<uint8_t>(10 + i);
  }
};
constexpr THexTable kHex;

template <typename Char>
uint8_t DigitValue(Char c) {
  const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
  return unit < 128 ? kHex.Value[unit] : kNotHex;
}

// The byte two digits stand for, or a value above 0xFF when either is not
// a digit.
template <typename Char>
unsigned PairValue(const Char* at) {
  const unsigned high = DigitValue(at[0]), low = DigitValue(at[1]);
  return high == kNotHex || low == kNotHex ? 0x100 : (high << 4 | low);
}

template <typename Char>
bool Parse(std::basic_string_view<Char> text, TStrongDigest& out) {
  out.Known = false;
  if (text.size() != 2 * out.Bytes.size()) return false;
  for (size_t i = 0; i < out.Bytes.size(); ++i) {
    const unsigned value = PairValue(text.data() + 2 * i);
    if (value > 0xFF) return false;
    out.Bytes[i] = static_cast<uint8_t>(value);
  }
  out.Known = true;
  return true;
}

}  // namespace

bool ParseStrongDigest(std::string_view text, TStrongDigest& out) {
  return Parse(text, out);
}

bool ParseStrongDigest(std::u16string_view text, TStrongDigest& out) {
  return Parse(text, out);
}

bool SameStrongDigest(const TStrongDigest& digest, std::u16string_view text) {
  if (!digest.Known || text.size() != 2 * digest.Bytes.size()) return false;
  for (size_t i = 0; i < digest.Bytes.size(); ++i)
    if (PairValue(text.data() + 2 * i) != digest.Bytes[i]) return false;
  return true;
}

std::string_view StrongDigestText(const TStrongDigest& digest, char (&out)[64]) {
  if (!digest.Known) return {};
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < digest.Bytes.size(); ++i) {
    out[2 * i] = kDigits[digest.Bytes[i] >> 4];
    out[2 * i + 1] = kDigits[digest.Bytes[i] & 15];
  }
  return {out, sizeof out};
}

std::string StrongDigestText(const TStrongDigest& digest) {
  char text[64];
  return std::string(StrongDigestText(digest, text));
}

}  // namespace lg
