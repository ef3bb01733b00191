#include "update/TrustStateFile.h"

#include <algorithm>

#include "common/Decimal.h"

namespace lg {
namespace {

// At most 18 digits, so that it fits; anything else reads as 0.
uint64_t Sequence(std::string_view text) {
  int64_t v = 0;
  return ParseDecimal(text, TDecimalSign::None, 999999999999999999, v, 18) ? static_cast<uint64_t>(v) : 0;
}

}  // namespace

TTrustState ParseTrustState(std::string_view text) {
  TTrustState state;
  // One line per file: a second pass over many files must not grow the
  // vector step by step.
  state.Digests.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const bool meta = line.find('=') == std::string_view::npos;
    if (meta && line.substr(0, 10) == "#sequence ") {
      state.Sequence = Sequence(line.substr(10));
    } else if (meta && line.substr(0, 18) == "#package-sequence ") {
      state.PackageSequence = Sequence(line.substr(18));
    } else {
      TLocalStateLine digest;
      if (ParseLocalStateLine(line, digest)) state.Digests.push_back(std::move(digest));
    }
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  return state;
}

std::string FormatTrustState(const TTrustState& state) {
  std::string text = "#sequence " + std::to_string(state.Sequence) + "\r\n#package-sequence " +
                     std::to_string(state.PackageSequence) + "\r\n";
  for (const TLocalStateLine& line : state.Digests) text += FormatLocalStateLine(line.Name, line.Hash, line.Stamp);
  return text;
}

}  // namespace lg
