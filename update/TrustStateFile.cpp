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
  if (text.empty()) return count;  // perhaps no storage, which memchr must not see
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

// A meta line has no "=": only a line that starts with "#" can be one, and
// the search for "=" is left to the lines that could be.
bool IsMetaLine(std::string_view line) {
  return !line.empty() && line[0] == '#' && line.find('=') == std::string_view::npos;
}

// A sequence from a meta line into `state`; false when the line names none.
bool ReadSequence(std::string_view line, TTrustStateView& state) {
  if (line.substr(0, 10) == "#sequence ") {
    state.Sequence = Sequence(line.substr(10));
  } else if (line.substr(0, 18) == "#package-sequence ") {
    state.PackageSequence = Sequence(line.substr(18));
  } else {
    return false;
  }
  return true;
}

}  // namespace

TTrustStateView ParseTrustStateInPlace(std::string_view text) {
  TTrustStateView state;
  // One line per file: a second pass over many files must not grow the
  // vector step by step.
  state.Digests.reserve(LineCount(text));
  TTextLines lines(text);
  std::string_view line;
  bool top = true;  // sequences count only above the first digest line
  while (lines.Next(line)) {
    if (IsMetaLine(line)) {
      if (top) ReadSequence(line, state);
      continue;
    }
    TLocalStateView digest;
    if (!ParseLocalStateLine(line, digest)) continue;
    state.Digests.push_back(digest);
    top = false;
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

TTrustStateView ParseTrustSequences(std::string_view text) {
  TTrustStateView state;
  TTextLines lines(text);
  std::string_view line;
  // The file is written with its sequences first: reading ends at the
  // first digest line, so a pass does not walk every file's line twice.
  TLocalStateView digest;
  while (lines.Next(line)) {
    if (IsMetaLine(line))
      ReadSequence(line, state);
    else if (ParseLocalStateLine(line, digest))
      break;
  }
  return state;
}

bool TTrustDigests::ReadNext() {
  std::string_view line;
  while (lines_.Next(line)) {
    // A meta line (no "=") is never a digest line.
    if (!IsMetaLine(line) && ParseLocalStateLine(line, next_)) return true;
  }
  return false;
}

const TLocalStateView* TTrustDigests::Find(std::string_view name) {
  if (!nextRead_) nextRead_ = ReadNext();
  if (nextRead_ && next_.Name == name) {
    nextRead_ = false;
    return &next_;
  }
  // Out of order: the line read stays for the next name.
  if (!indexed_) {
    indexed_ = true;
    const TTrustStateView all = ParseTrustStateInPlace(text_);
    for (const TLocalStateView& line : all.Digests) byName_.emplace(line.Name, line);
  }
  const auto found = byName_.find(name);
  return found == byName_.end() ? nullptr : &found->second;
}

std::string FormatTrustState(const TTrustStateView& state) {
  return Format(state);
}

std::string FormatTrustState(const TTrustState& state) {
  return Format(state);
}

}  // namespace lg
