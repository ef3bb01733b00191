// Unpacks a zip archive into a folder: every entry, in directory order,
// replacing existing files. Used by the update thread, one extraction at a
// time; the events run on the thread that calls UnZip. The extractor owns
// its settings and the buffers and zlib stream it reuses from entry to
// entry; the error reporter is the caller's and must outlive UnZip.
//
// Whatever the archive says, nothing is written outside DestDir: every
// target name must pass IsSafeRelativePath, symbolic-link entries are
// refused, a decoder never writes more than the entry's declared size, and
// an entry whose local header, central directory and data disagree does not
// count. Files are decoded into a temporary sibling and renamed over the
// target only after their CRC-32 matched, so a bad entry leaves no partial
// file and an existing good one in place.
//
// Decoded bytes are bounded too, whatever sizes the archive declares: one
// UnZip writes at most MaxWrittenBytes in all, and an entry that grows past
// RatioFloorBytes may not expand more than MaxRatio times its compressed
// size. An entry stopped by either limit is logged and leaves no file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/FileAttributes.h"
#include "common/FileStream.h"
#include "update/zip/IZipErrorReporter.h"
#include "update/zip/TZipDirectory.h"
#include "update/zip/TZipInflater.h"
#include "update/zip/TZipOutWindow.h"

namespace lg {

class TZipArchiveReader;

class TZipExtractor {
 public:
  enum class TOverwriteMode { Always, Never };

  // Package sizes in the manifests are 32-bit, so no honest extraction
  // writes more than this.
  static constexpr uint64_t kMaxWrittenBytes = 0xFFFFFFFFull;
  // Deflate reaches about 1000:1 only on runs of one byte; game files stay
  // far below 100:1. Small entries may expand freely.
  static constexpr uint64_t kMaxRatio = 200;
  static constexpr uint64_t kRatioFloorBytes = uint64_t{32} << 20;

  // Settings (GBK paths).
  std::string ZipName;
  std::string DestDir;  // a trailing backslash is added when missing
  bool DoAll = true;
  std::vector<std::string> FilesList;  // names to extract when DoAll is false
  TOverwriteMode OverwriteMode = TOverwriteMode::Always;
  bool RecreateDirs = false;
  bool RetainAttributes = true;
  IZipErrorReporter* ErrorReporter = nullptr;  // null: the error goes to the debug output
  uint64_t MaxWrittenBytes = kMaxWrittenBytes;
  uint64_t MaxRatio = kMaxRatio;
  uint64_t RatioFloorBytes = kRatioFloorBytes;

  // Events; an unset event is skipped.
  std::function<void(int index, const std::string& name, bool& skip)> OnStartUnZip;
  std::function<void(int percent)> OnFilePercentDone;
  std::function<void(int percent)> OnTotalPercentDone;
  // One line per refused or failed entry, naming it as stored.
  std::function<void(const std::string& line)> OnLog;

  // Extracts and returns the number of entries handled successfully (files
  // and directory entries). 0 for an archive that cannot be opened or is not
  // a zip archive.
  int UnZip();

  // The entries of the last UnZip (empty when the directory was unreadable).
  const std::vector<TZipEntry>& Entries() const { return entries_; }

 private:
  struct TSpan {
    uint64_t DataStart = 0;
    uint64_t End = 0;     // past the data and its descriptor
    std::string Problem;  // why the entry cannot be trusted; empty when fine
  };

  bool ReadDirectory(plat::TFileStream& archive);
  void CheckEntries(TZipArchiveReader& archive);
  bool ExtractDirectory(const TZipEntry& entry);
  bool ExtractFile(TZipArchiveReader& archive, size_t index, const std::string& target);
  bool Decode(const TZipEntry& e, IZipByteSource& in, IZipByteSink& sink);
  // Creates the folder of `target` unless an earlier file of this UnZip
  // went there: within one UnZip a folder that exists stays (no entry may
  // replace one), so each folder is asked for once.
  bool MakeFolderOf(const std::string& target);
  void SetStamp(const std::string& target, uint32_t dosDateTime);
  void Log(const std::string& line) const;

  std::vector<TZipEntry> entries_;
  std::vector<TSpan> spans_;
  uint64_t directoryOffset_ = 0;
  uint64_t totalBytes_ = 0;
  uint64_t doneBytes_ = 0;
  uint64_t writtenBytes_ = 0;  // decoded bytes of this UnZip, for MaxWrittenBytes
  int lastTotalPercent_ = -1;

  // Kept from entry to entry within one UnZip.
  std::unique_ptr<TZipOutWindow> window_;
  std::unique_ptr<TZipInflater> inflater_;
  std::unordered_set<std::string> knownFolders_;  // exist; with their trailing separator
  bool stampKnown_ = false;
  uint32_t stampDos_ = 0;
  bool stampValid_ = false;
  plat::TStampTime stampTime_;
};

}  // namespace lg
