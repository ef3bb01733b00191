// A file's SHA-256 as a record keeps it: the 32 bytes in place, so that a
// table of many files holds no string per digest. The text forms are those
// of the trust file (GBK hexadecimal) and of the manifest (UTF-16
// hexadecimal, either case). Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lg {

struct TStrongDigest {
  std::array<uint8_t, 32> Bytes{};
  // False: no digest known (none computed, or its text did not read).
  bool Known = false;
};

// Exactly 64 hexadecimal digits, either case, into `out` (Known); anything
// else leaves `out` unknown and returns false.
bool ParseStrongDigest(std::string_view text, TStrongDigest& out);
bool ParseStrongDigest(std::u16string_view text, TStrongDigest& out);
// Whether `text` is 64 hexadecimal digits (either case) naming the known
// digest `digest`; an unknown digest matches no text.
bool SameStrongDigest(const TStrongDigest& digest, std::u16string_view text);
// 64 lowercase digits into `out`; empty for an unknown digest.
std::string_view StrongDigestText(const TStrongDigest& digest, char (&out)[64]);
std::string StrongDigestText(const TStrongDigest& digest);

}  // namespace lg
