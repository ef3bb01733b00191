// The local state file's text form: one line per file,
// "name=digest-stamp", GBK, CR LF. Pure functions of bytes (no file
// access), so the reader can be tested and fuzzed on its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/TextLines.h"

namespace lg {

struct TLocalStateLine {
  std::string Name;
  std::string Hash;
  int32_t Stamp = 0;
};

// One line seen in place: the views point into the text it came from.
struct TLocalStateView {
  std::string_view Name;
  std::string_view Hash;
  int32_t Stamp = 0;
};

// Splits at the first "="; the value's first "-" must stand at its second
// character or later, else the line is refused. The stamp is at most 20
// characters after the "-", a decimal 32-bit integer, 0 when unreadable.
bool ParseLocalStateLine(std::string_view line, TLocalStateLine& out);
bool ParseLocalStateLine(std::string_view line, TLocalStateView& out);
// Calls `visit(const TLocalStateView&)` for every usable line of a file's
// text, in order, without copying any of it. Lines end at CR LF, LF or CR.
template <typename F>
void ForEachLocalStateLine(std::string_view text, F visit) {
  TTextLines lines(text);
  std::string_view raw;
  while (lines.Next(raw)) {
    TLocalStateView line;
    if (ParseLocalStateLine(raw, line)) visit(line);
  }
}
// Every usable line of a file's text, copied, in order.
std::vector<TLocalStateLine> ParseLocalState(std::string_view text);
// "name=digest-stamp" followed by CR LF.
std::string FormatLocalStateLine(std::string_view name, std::string_view hash, int32_t stamp);
// The same line added to the end of `text`: a whole file in one string
// without a string per line.
void AppendLocalStateLine(std::string& text, std::string_view name, std::string_view hash, int32_t stamp);

}  // namespace lg
