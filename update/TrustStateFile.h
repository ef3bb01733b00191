// What a launcher built with an update key remembers beside the local state
// ("data\update<pass>.trust"; launchers without a key never read it): the
// highest signature sequence accepted for the pass's manifest and for the
// package manifest, and each file's SHA-256 under the stamp it was computed
// for. Lines (GBK, CR LF):
//   #sequence <decimal>
//   #package-sequence <decimal>
//   name=sha256-stamp      (the local state's own line form)
// A meta line has no "=", so no file name can be mistaken for one. Pure
// functions of bytes.
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

// Unreadable lines are skipped; a sequence that is not a decimal of at most
// 18 digits reads as 0.
TTrustState ParseTrustState(std::string_view text);
std::string FormatTrustState(const TTrustState& state);

}  // namespace lg
