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
// 18 digits reads as 0.
TTrustStateView ParseTrustStateInPlace(std::string_view text);
TTrustState ParseTrustState(std::string_view text);
std::string FormatTrustState(const TTrustStateView& state);
std::string FormatTrustState(const TTrustState& state);

}  // namespace lg
