// One file record, shared by the local state table (file name, digest last
// computed, modification stamp) and the download list (manifest entry: file,
// digest, size to download, zipped or not). Plain data; owned by the table
// or the list that holds it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "update/StrongDigest.h"

namespace lg {

struct TLocalFileInfo {
  std::string FileName;  // GBK
  int32_t IsLauncher = 0;
  std::string Hash;
  // The stamp (packed DOS date and time) in the table, the byte count to
  // download in the download list.
  int32_t SizeOrAge = 0;
  bool IsZip = false;
  // SHA-256, kept only by launchers built with an update key: of the file
  // (table) or as the manifest gives it (download list).
  TStrongDigest Sha256;
  // True when the file was on disk as the table was read from the state
  // file. Within a pass files appear (downloads, a full package) but are
  // not taken away, so the comparison need not ask again; false: ask.
  bool SeenPresent = false;
};

using TDownloadList = std::vector<std::unique_ptr<TLocalFileInfo>>;

}  // namespace lg
