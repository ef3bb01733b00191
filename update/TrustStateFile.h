// What a launcher built with an update key remembers beside the local state
// ("data\update<pass>.trust"; launchers without a key never read it): the
// highest signature sequence accepted for the pass's manifest and for the
// package manifest, and each file's SHA-256 under the stamp it was computed
// for. Lines (GBK, CR LF):
//   #sequence <decimal>
//   #package-sequence <decimal>
//   name=sha256-stamp      (the local state's own line form)
// A meta line has no "=", so no file name can be mistaken for one. Pure
// functions of bytes. A second pass reads the file in place (the views of
// TTrustStateView); the copying form is for callers that keep no text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "update/LocalStateFile.h"

namespace lg {

struct TTrustState {
  uint64_t Sequence = 0;
  uint64_t PackageSequence = 0;
  std::vector<TLocalStateLine> Digests;  // Hash holds the SHA-256
};

// The same, seen in place: the views point into the text it was read from
// (or into the strings it is formatted from).
struct TTrustStateView {
  uint64_t Sequence = 0;
  uint64_t PackageSequence = 0;
  std::vector<TLocalStateView> Digests;
};

// Unreadable lines are skipped; a sequence that is not a decimal of at most
// 18 digits reads as 0. Sequences are read from the lines above the first
// digest line, where the file is written with them; a "#" line further down
// is neither a sequence nor a digest.
TTrustStateView ParseTrustStateInPlace(std::string_view text);
TTrustState ParseTrustState(std::string_view text);
std::string FormatTrustState(const TTrustStateView& state);
std::string FormatTrustState(const TTrustState& state);

// The two sequences alone (Digests stays empty): what a pass needs before
// it reads the local state.
TTrustStateView ParseTrustSequences(std::string_view text);

// The digest lines of a trust file's text, looked up by name in the order
// the local state lists its files, which is the order both were written
// in: each lookup reads the next line in place, and an index by name is
// built only for a name asked out of that order. Views into `text`, which
// must outlive this.
class TTrustDigests {
 public:
  explicit TTrustDigests(std::string_view text) : text_(text), lines_(text) {}
  // The line for `name` (the first one when several are), or nullptr.
  const TLocalStateView* Find(std::string_view name);

 private:
  // The next digest line into next_; false after the last.
  bool ReadNext();

  std::string_view text_;
  TTextLines lines_;
  TLocalStateView next_;
  bool nextRead_ = false;  // next_ holds a line not yet taken
  std::unordered_map<std::string_view, TLocalStateView> byName_;
  bool indexed_ = false;
};

}  // namespace lg
