// Strict decimal integers, as the protocols and files of the system write
// them: the whole text is the number, with no blanks, no junk and no
// overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lg {

enum class TDecimalSign { None, Allowed };

// True when `text` is an optional '+' or '-' (only with Allowed), then
// 1..maxDigits decimal digits whose value is at most `maxMagnitude`; `out`
// is then the signed value. On false `out` is unchanged. The magnitude is
// checked digit by digit, so no text overflows, however long.
bool ParseDecimal(std::string_view text, TDecimalSign sign, int64_t maxMagnitude, int64_t& out,
                  size_t maxDigits = std::string_view::npos);

}  // namespace lg
