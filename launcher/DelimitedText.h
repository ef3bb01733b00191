// The delimited-list rules the deployment block's URL text and the channel in
// the launcher's file name are split by: characters 1..32 separate tokens
// (runs count as one), a token starting with a double quote runs to the
// matching quote with "" standing for one quote, and GBK double-byte
// characters are stepped over whole, so a trail byte that looks like a blank
// or a quote never ends a token. The text ends at its first NUL byte.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lg {

std::vector<std::string> SplitDelimited(std::string_view text, char delimiter);

}  // namespace lg
