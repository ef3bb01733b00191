// The layer table of cmake/Layers.txt and the check of a source file's
// quoted includes against it. Pure functions of text: the tree scan that
// feeds them lives in the test.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lg::test {

struct TLayerEntry {
  std::string Prefix;
  int Layer = 0;
};

class TLayerTable {
 public:
  // Lines of "prefix layer"; '#' starts a comment, blank lines are skipped.
  // False, with "line N: ..." in `error`, for a malformed line or a prefix
  // given twice.
  bool Parse(std::string_view text, std::string& error);
  // The entry whose prefix is the longest one `path` starts with, or
  // nullptr. The pointer lives as long as the table is not parsed again.
  const TLayerEntry* Find(std::string_view path) const;
  const std::vector<TLayerEntry>& Entries() const { return entries_; }

 private:
  std::vector<TLayerEntry> entries_;
};

struct TQuotedInclude {
  int Line = 0;  // 1-based
  std::string Target;
};

// Every `#include "..."` of a source text (angle-bracket includes and lines
// that are not directives are skipped).
std::vector<TQuotedInclude> QuotedIncludes(std::string_view text);

// Tells whether a path relative to the checkout names a file.
using TFileExists = std::function<bool(const std::string&)>;

// The faults of one file: `path` relative to the checkout, `text` its
// contents. An include names a file beside the including one when such a
// file exists, otherwise a path from the checkout's root. Each fault reads
// "path:line: ...". A file outside every entry has none.
std::vector<std::string> CheckIncludes(const TLayerTable& table, const std::string& path, std::string_view text,
                                       const TFileExists& exists);

}  // namespace lg::test
