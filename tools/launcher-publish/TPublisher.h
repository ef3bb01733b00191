// Publishes a game folder to a web root the launcher updates from: copies
// (or zips) every file under its manifest name, writes the incremental
// manifest last, optionally the full package with its "release.json", and
// remembers what it did in a cache file so that the next run reads only
// the files whose size or time changed. Every file is written under a
// temporary name and renamed into place, so the server never serves half a
// file. Nothing is written before the whole folder has been checked: a
// name the launcher would refuse, a name GBK cannot hold, a file of 2 GiB
// or more or two names that collide on Windows stop the run first.
//
// One run per object, on the caller's thread. Paths are GBK.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/launcher-publish/PublishCache.h"
#include "tools/launcher-publish/SigningKey.h"

namespace lg::publish {

struct TPublishOptions {
  std::string SourceDir;  // the game folder
  std::string WebRoot;    // where the content server's files go
  bool Launcher = false;  // write "updateL.json" (the launcher's pass)
  std::string LauncherExe = "launcher.exe";
  std::vector<std::string> ZipGlobs;   // GBK patterns, see GlobMatch.h
  std::vector<std::string> SkipGlobs;  // GBK patterns
  bool Package = false;
  std::string PackageName = "package.zip";
  bool Progress = false;  // redraw one "\r" line per file on `progress`
  // Signs every manifest written ("<manifest>.sig") when set.
  bool Sign = false;
  TSigningKey Key;
  int ValidDays = 30;
  // Unix seconds; 0 means the system clock (tests pin it).
  uint64_t Now = 0;
};

struct TPublishStats {
  int Files = 0;          // entries in the manifest
  int64_t Bytes = 0;      // sum of the entries' sizes in the game folder
  int Zipped = 0;         // entries served as archives
  int Unchanged = 0;      // entries taken from the cache without reading
  int Removed = 0;        // entries of the last run that are gone
  int Skipped = 0;        // files left out by --skip or as launcher state
  int Hashed = 0;         // files whose digest was computed
  int Written = 0;        // files copied or zipped into the web root
  int64_t BytesRead = 0;  // bytes read from the game folder
  bool PackageWritten = false;
  uint64_t Sequence = 0;  // of the signatures written (0: unsigned)
};

class TPublisher {
 public:
  static constexpr int64_t kMaxFileSize = int64_t(1) << 31;  // "Size" is signed 32-bit

  TPublisher(TPublishOptions options, std::ostream& progress);

  // True when everything was published; otherwise ErrorText names every
  // problem found (one per line).
  bool Run();

  const std::string& ErrorText() const { return errorText_; }
  const TPublishStats& Stats() const { return stats_; }
  std::string ManifestName() const { return options_.Launcher ? "updateL.json" : "update.json"; }
  std::string CacheName() const { return options_.Launcher ? ".publish-cacheL" : ".publish-cache"; }

 private:
  struct TFile {
    std::string Name;  // GBK, "/" separators
    std::string Utf8;  // the same name in UTF-8, for pattern matching
    uint64_t Size = 0;
    int64_t MTime = 0;
    bool Zip = false;
    bool IsLauncher = false;
    std::string Hash;
    std::string Sha256;
    int64_t Served = 0;
  };

  bool Walk();
  bool CheckNames();
  void PreparePatterns();
  bool IsSkipped(const TFile& file) const;
  // The copy buffer, allocated once per run.
  std::string& Buffer();
  bool PublishFile(TFile& file, const TCacheRecord* cached);
  bool CopyWithDigest(const std::string& from, const std::string& to, std::string& digest, std::string& sha256,
                      int64_t& size);
  bool DigestOf(const std::string& path, std::string& digest, std::string& sha256);
  // Writes "<name>.sig" for the web root's file `name` (as the launcher
  // names it in the signed message: `signedName`).
  bool WriteSignature(const std::string& name, const std::string& signedName, const std::string& text);
  bool WritePackage();
  void RemoveServed(const std::string& name, bool zip);
  void ShowProgress(size_t index, const TFile& file);
  bool Fail(const std::string& text);
  std::string SourcePath(const std::string& name) const;
  std::string WebPath(const std::string& name) const;

  TPublishOptions options_;
  std::ostream& progress_;
  std::vector<TFile> files_;
  TPublishCache cache_;
  TPublishStats stats_;
  std::string errorText_;
  std::vector<std::string> skipPatterns_;  // UTF-8
  std::vector<std::string> zipPatterns_;   // UTF-8
  std::string buffer_;
};

}  // namespace lg::publish
