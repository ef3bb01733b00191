#include "update/ManifestDigestText.h"

#include <cstdint>
#include <cstring>

#include "update/json/JsonText.h"

namespace lg {
namespace {

char16_t LowerHexDigit(char16_t c) {
  return c >= u'A' && c <= u'F' ? static_cast<char16_t>(c | 0x20) : c;
}

}  // namespace

bool IsSha256Text(std::u16string_view text) {
  if (text.size() != 64) return false;
  // Four code units at a time, each in a 16-bit lane: every accepted
  // manifest has one such text per entry. A lane below 0x80 plus a
  // constant stays below 0x100, so bit 7 tells "at least" without a carry
  // into the next lane.
  constexpr uint64_t kLanes = 0x0001000100010001;
  auto atLeast = [](uint64_t x, unsigned low) { return x + (0x80 - low) * kLanes; };
  uint64_t bad = 0;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint64_t x;
    std::memcpy(&x, text.data() + i, sizeof x);
    bad |= x & 0xFF80 * kLanes;  // a unit of 0x80 or more
    const uint64_t lower = x | 0x20 * kLanes;
    const uint64_t digit = atLeast(x, '0') & ~atLeast(x, '9' + 1);
    const uint64_t letter = atLeast(lower, 'a') & ~atLeast(lower, 'f' + 1);
    bad |= ~(digit | letter) & 0x80 * kLanes;
  }
  return bad == 0;
}

std::string Sha256TextOf(std::u16string_view text) {
  std::string gbk = json::GbkFromWide(text);
  for (char& c : gbk)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return gbk;
}

bool SameSha256Text(std::string_view digest, std::u16string_view text) {
  // ASCII is the same text in GBK, a byte per code unit, so the first
  // difference in it decides; past a code unit above it, the text is
  // converted as a whole.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0x80) return digest == Sha256TextOf(text);
    if (i >= digest.size() || static_cast<unsigned char>(digest[i]) != LowerHexDigit(text[i])) return false;
  }
  return digest.size() == text.size();
}

}  // namespace lg
