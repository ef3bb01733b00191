// The publisher's memory of its last run, kept as a small text file in the
// web root: for every published file its size and modification time in the
// game folder, its digest, whether it was zipped and the size of what was
// served. A file whose size and time match its record is neither read nor
// copied again. Only names recorded here are ever deleted from the web
// root. Owned by one publisher run.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace lg::publish {

struct TCacheRecord {
  uint64_t Size = 0;
  int64_t MTime = 0;  // the file system's own time units
  std::string Hash;
  bool Zip = false;
  int64_t Served = 0;       // bytes of the served file (the archive when zipped)
  std::string Sha256 = {};  // empty in caches written before it was kept
};

class TPublishCache {
 public:
  // GBK, "/" separators -> record.
  std::map<std::string, TCacheRecord> Records;
  // The game folder the records describe; a run from another folder
  // ignores them.
  std::string Source;
  // The package archive written by the last run ("" when none).
  std::string Package;
  // The sequence number of the last signed publication (0: none).
  uint64_t Sequence = 0;

  // False when the file is missing or unreadable: the cache is then empty.
  bool Load(const std::string& path);
  std::string Text() const;
  bool Parse(const std::string& text);
};

}  // namespace lg::publish
