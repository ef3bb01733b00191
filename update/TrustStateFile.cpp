#include "update/TrustStateFile.h"

#include <cstring>

#include "common/Decimal.h"

namespace lg {
namespace {

// At most 18 digits, so that it fits; anything else reads as 0.
uint64_t Sequence(std::string_view text) {
  int64_t v = 0;
  return ParseDecimal(text, TDecimalSign::None, 999999999999999999, v, 18) ? static_cast<uint64_t>(v) : 0;
}

// LF count, found with memchr: the file ends its lines with CR LF.
size_t LineCount(std::string_view text) {
  size_t count = 0;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  while (const void* hit = std::memchr(at, '\n', static_cast<size_t>(end - at))) {
    ++count;
    at = static_cast<const char*>(hit) + 1;
  }
  return count;
}

template <typename State>
std::string Format(const State& state) {
  std::string text = "#sequence " + std::to_string(state.Sequence) + "\r\n#package-sequence " +
                     std::to_string(state.PackageSequence) + "\r\n";
  // Name, "=", 64 digits, "-", a stamp of up to 11 characters, CR LF: one
  // allocation for the whole file.
  size_t size = text.size();
  for (const auto& line : state.Digests) size += line.Name.size() + line.Hash.size() + 15;
  text.reserve(size);
  for (const auto& line : state.Digests) AppendLocalStateLine(text, line.Name, line.Hash, line.Stamp);
  return text;
}

}  // namespace

TTrustStateView ParseTrustStateInPlace(std::string_view text) {
  TTrustStateView state;
  // One line per file: a second pass over many files must not grow the
  // vector step by step.
  state.Digests.reserve(LineCount(text));
  TTextLines lines(text);
  std::string_view line;
  while (lines.Next(line)) {
    // Only a line that starts with "#" can be a meta line; the search for
    // "=" is left to the lines that could be.
    const bool meta = !line.empty() && line[0] == '#' && line.find('=') == std::string_view::npos;
    if (meta && line.substr(0, 10) == "#sequence ") {
      state.Sequence = Sequence(line.substr(10));
    } else if (meta && line.substr(0, 18) == "#package-sequence ") {
      state.PackageSequence = Sequence(line.substr(18));
    } else {
      TLocalStateView digest;
      if (ParseLocalStateLine(line, digest)) state.Digests.push_back(digest);
    }
  }
  return state;
}

TTrustState ParseTrustState(std::string_view text) {
  const TTrustStateView view = ParseTrustStateInPlace(text);
  TTrustState state;
  state.Sequence = view.Sequence;
  state.PackageSequence = view.PackageSequence;
  state.Digests.reserve(view.Digests.size());
  for (const TLocalStateView& line : view.Digests)
    state.Digests.push_back({std::string(line.Name), std::string(line.Hash), line.Stamp});
  return state;
}

std::string FormatTrustState(const TTrustStateView& state) {
  return Format(state);
}

std::string FormatTrustState(const TTrustState& state) {
  return Format(state);
}

}  // namespace lg
