// Writes the documents the launcher reads from the content server: the
// incremental manifest ("update.json" / "updateL.json", a list of one
// object per file) and the package manifest ("release.json", one object).
//
// The launcher's parser decodes string bytes as UTF-8 and hands names on as
// GBK, so names arrive here as GBK and leave as pure ASCII: every character
// outside ASCII is written as a \u escape, which reads back to the same GBK
// bytes whatever the reader assumes about the file's encoding. Quotes,
// backslashes and control characters are escaped. Pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lg::publish {

struct TManifestEntry {
  std::string File;  // GBK, "\" separators, relative to the launcher's folder
  std::string Hash;  // lowercase MD5 of the installed file
  int32_t Size = 0;  // bytes served: the file, or its archive when IsZip
  bool IsZip = false;
  int IsLauncher = 0;
  std::string Sha256 = {};  // lowercase SHA-256 of the installed file; written when set
};

struct TReleaseEntry {
  std::string File;  // the package archive's bare name
  int IsLauncher = 0;
  std::string MD5;  // of the archive
  int32_t Size = 0;
  std::string Sha256 = {};  // of the archive; written when set
};

// A JSON string literal (with its quotes) for GBK text.
std::string JsonString(std::string_view gbk);
std::string ManifestText(const std::vector<TManifestEntry>& entries);
std::string ReleaseText(const TReleaseEntry& release);

}  // namespace lg::publish
