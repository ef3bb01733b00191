// The update pass's view of what is installed: the manifest read from the
// local copy, the local state table (file name -> digest and stamp last
// seen), the byte totals, and the comparison that turns them into the
// download list. The update worker of a pass owns one and calls it from its
// own thread only; nothing here takes a lock.
//
// Names from the manifest and the state file are relative to the launcher's
// folder. A name that would leave that folder (see IsSafeRelativePath) is
// never read, written or downloaded: its entry is skipped with a log line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Library/hDownload/TNamesHash.h"
#include "common/MappedFile.h"
#include "update/IMessageSink.h"
#include "update/TLocalFileInfo.h"
#include "update/TUpdateLog.h"
#include "update/TrustStateFile.h"
#include "update/json/TzqJSON.h"

namespace lg {

class TUpdateState {
 public:
  static constexpr int kTableBuckets = 1023;

  // `launcherFolder` ends with a separator; `exeName` is the launcher's own
  // file name ("launcher.exe"), whose ".update" companion stands in for it
  // in comparisons. `stopRequested` is polled between manifest entries.
  TUpdateState(std::string launcherFolder, std::string exeName, int pass, TUpdateLog& log, IMessageSink& sink,
               std::function<bool()> stopRequested = {});
  ~TUpdateState();
  TUpdateState(const TUpdateState&) = delete;
  TUpdateState& operator=(const TUpdateState&) = delete;

  // "update.json" for pass 0, "updateL.json" otherwise.
  static std::string ManifestName(int pass);
  // "data\update<pass>.local" below the launcher's folder.
  std::string LocalStatePath() const;
  std::string ManifestPath() const;
  // The launcher's file name without extension, plus ".update".
  std::string CompanionName() const;

  // True when a fetched document counts as a manifest: a list whose first
  // element is an object with a non-empty "File" string. A "File" of
  // another kind makes it invalid rather than raising, so that the fetch
  // moves on to the next address.
  static bool IsReceivedManifest(const TzqJSONbase* doc);

  // Reads the local manifest copy; true when it is a list with at least one
  // element, which becomes the manifest. Errors are logged, never raised.
  bool LoadUpdateJson();
  // Clears the changed mark and fills the table from the state file,
  // re-hashing every file whose stamp differs from the one recorded.
  void LoadLocalState();
  // Fills `downloads` with the entries that are out of date and sets the
  // totals. 0: all present; 1: something to fetch; 2: less than a tenth of
  // the bytes present. Raises EInvalidCast for a manifest key of the wrong
  // kind (or an entry that is not an object).
  int CompareManifest(TDownloadList& downloads);
  // Writes the table (when it holds a record) in the order of adding, and
  // with strong digests the trust file.
  void SaveLocalState();

  // ---- Launchers built with an update key --------------------------------
  // From now on a file counts as present only when its SHA-256 matches the
  // manifest's "Sha256" as well; the digests and the accepted sequences
  // are kept in the trust file (TrustStateFile.h). Call before LoadTrust.
  void UseStrongDigests() { strong_ = true; }
  bool StrongDigests() const { return strong_; }
  // "data\update<pass>.trust" below the launcher's folder.
  std::string TrustStatePath() const;
  // Reads the sequences and digests remembered by earlier runs.
  void LoadTrust();
  // The highest sequences accepted so far; raising one marks the state
  // changed.
  uint64_t AcceptedSequence() const { return trust_.Sequence; }
  uint64_t AcceptedPackageSequence() const { return trust_.PackageSequence; }
  void AcceptSequence(uint64_t sequence);
  void AcceptPackageSequence(uint64_t sequence);

  TNamesHash& Table() { return table_; }
  // Record under a local name, or nullptr.
  TLocalFileInfo* Record(std::string_view localName) const;
  bool Changed() const { return changed_ || trustChanged_; }
  void SetChanged() { changed_ = true; }
  TzqJSONlist* Manifest() const { return manifest_.get(); }

  int64_t BytesDone = 0;
  int64_t BytesTotal = 0;

  // Files whose digest was computed since construction (a second run over
  // unchanged files computes none).
  int FilesHashed() const { return filesHashed_; }

 private:
  // MD5 of the file; with strong digests its SHA-256 into `sha256` too
  // (from the same read).
  std::string HashFile(const std::string& path, TStrongDigest* sha256 = nullptr);
  // The record's SHA-256, computed now when no earlier run left one.
  const TStrongDigest& StrongDigestOf(TLocalFileInfo& record, const std::string& path);
  // Lets go of the trust file's text (and its mapping).
  void DropTrustText();
  void ShowStatus(std::string_view text);
  bool StopRequested() const { return stopRequested_ && stopRequested_(); }
  bool Adopt(std::string_view localName, std::unique_ptr<TLocalFileInfo> record);

  std::string folder_;
  std::string exeName_;
  int pass_;
  TUpdateLog& log_;
  IMessageSink& sink_;
  std::function<bool()> stopRequested_;

  bool changed_ = false;
  TNamesHash table_{kTableBuckets};
  std::unique_ptr<TzqJSONlist> manifest_;
  int filesHashed_ = 0;

  bool strong_ = false;
  bool trustChanged_ = false;
  // The trust file, mapped until LoadLocalState has taken its digests
  // (trustCopy_ holds the text instead where it could not be mapped).
  plat::TMappedFile trustFile_;
  std::string trustCopy_;
  std::string_view trustText_;
  TTrustStateView trust_;  // the sequences only; Digests stays empty
};

}  // namespace lg
