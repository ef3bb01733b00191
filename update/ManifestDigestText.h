// The manifest's "Sha256" members as the update key reads them: UTF-16
// text in the parsed manifest, compared with the lowercase digests of the
// files without turning each into a string of its own. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace lg {

// Exactly 64 hexadecimal digits, either case.
bool IsSha256Text(std::u16string_view text);
// The text as the comparison takes it: in GBK, with A-F lowered.
std::string Sha256TextOf(std::u16string_view text);
// Whether `digest` equals Sha256TextOf(text).
bool SameSha256Text(std::string_view digest, std::u16string_view text);

}  // namespace lg
