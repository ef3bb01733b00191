// Small text routines shared by the HTTP client and the downloader:
// percent-encoding of request paths, Base64 for basic authorisation,
// splitting at runs of delimiter characters, replacing, and the text of a
// network adapter's hardware address. Text is 8-bit GBK unless said
// otherwise. Every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lg {

// GBK text -> UTF-8 bytes, each kept when it is a letter, a digit or one of
// _-./?&=, a blank as "+" (blankAsPlus) or "%20", anything else as %XX.
std::string UrlEncode(std::string_view text, bool blankAsPlus);

// RFC 4648 with "=" fill.
std::string Base64Encode(std::string_view bytes);

// Head := the text before the first run of delimiter characters, text := the
// text after the run. With no delimiter in the text: empty head, text kept.
std::string SplitFirst(std::string& text, std::string_view delimiters);
// Tail := the text after the last delimiter, text := the text before the run
// that ends there. With no delimiter: empty tail, text kept.
std::string SplitLast(std::string& text, std::string_view delimiters);

// Every occurrence of `from` (exact bytes) replaced, left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Leading and trailing blanks and control characters removed.
std::string TrimText(std::string_view text);

// The hardware address of the adapter at `position` as "00-1A-2B-3C-4D-5E";
// empty when there is no such adapter or the query fails.
std::string AdapterMacText(int position);

}  // namespace lg
