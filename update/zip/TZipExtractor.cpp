#include "update/zip/TZipExtractor.h"

#include <zlib.h>

#include <algorithm>

#include "common/FileAttributes.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "update/zip/TZipArchiveReader.h"
#include "update/zip/ZipDecoders.h"

namespace lg {
namespace {

constexpr size_t kLongestEndRecord = 22 + 65535;

// The entry's compressed bytes, read straight from the archive.
class TArchiveSource : public IZipByteSource {
 public:
  TArchiveSource(TZipArchiveReader& file, uint64_t start, uint64_t size) : file_(file), at_(start), left_(size) {}
  size_t Read(uint8_t* data, size_t size) override {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, left_));
    if (n == 0) return 0;
    const int64_t got = file_.ReadAt(at_, data, n);
    if (got <= 0) {
      left_ = 0;
      return 0;
    }
    at_ += static_cast<uint64_t>(got);
    left_ -= static_cast<uint64_t>(got);
    return static_cast<size_t>(got);
  }

 private:
  TZipArchiveReader& file_;
  uint64_t at_;
  uint64_t left_;
};

// Writes the decoded bytes to the temporary file, keeps the CRC-32 and
// reports progress when the percentage changes.
class TTargetSink : public IZipByteSink {
 public:
  TTargetSink(plat::TFileStream& file, uint64_t size, uint64_t limit,
              std::function<void(uint64_t written, int percent)> progress)
      : file_(file), size_(size), limit_(limit), progress_(std::move(progress)) {}
  bool Write(const uint8_t* data, size_t size) override {
    if (size > limit_ - written_) {
      overLimit_ = true;
      return false;
    }
    if (!file_.Write(data, size)) return false;
    crc_ = crc32(crc_, data, static_cast<uInt>(size));
    written_ += size;
    const int percent = size_ ? static_cast<int>(written_ * 100 / size_) : 100;
    if (percent != lastPercent_) {
      lastPercent_ = percent;
      progress_(written_, percent);
    }
    return true;
  }
  uint32_t Crc() const { return static_cast<uint32_t>(crc_); }
  uint64_t Written() const { return written_; }
  bool OverLimit() const { return overLimit_; }

 private:
  plat::TFileStream& file_;
  uint64_t size_;
  uint64_t limit_;
  bool overLimit_ = false;
  std::function<void(uint64_t, int)> progress_;
  uLong crc_ = crc32(0L, Z_NULL, 0);
  uint64_t written_ = 0;
  int lastPercent_ = -1;
};

bool KnownMethod(uint16_t method) {
  return method <= 6 || method == 8;
}

std::string WithoutTrailingSeparators(std::string name) {
  // Only called for directory entries, whose last byte is a real separator.
  while (!name.empty() && (name.back() == '/' || name.back() == '\\') && ZipBareName(name).empty()) name.pop_back();
  return name;
}

}  // namespace

void TZipExtractor::Log(const std::string& line) const {
  if (OnLog) {
    OnLog(line);
  } else {
    plat::DebugOutput(line);
  }
}

bool TZipExtractor::ReadDirectory(plat::TFileStream& archive) {
  const int64_t size = archive.Size();
  if (size < 22) return false;
  const uint64_t fileSize = static_cast<uint64_t>(size);
  const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, kLongestEndRecord));
  std::vector<uint8_t> tail(tailSize);
  if (archive.ReadAt(size - static_cast<int64_t>(tailSize), tail.data(), tailSize) != static_cast<int64_t>(tailSize))
    return false;
  TZipEndRecord end;
  if (!FindZipEndRecord(tail.data(), tail.size(), fileSize, end)) return false;
  // The directory lies before the end record (checked by the parser), so
  // its size is bounded by the file's real size, not by a claim.
  std::vector<uint8_t> directory(end.DirectorySize);
  if (end.DirectorySize &&
      archive.ReadAt(end.DirectoryOffset, directory.data(), directory.size()) != static_cast<int64_t>(directory.size()))
    return false;
  if (!ParseZipCentralDirectory(directory.data(), directory.size(), end.Entries, entries_)) return false;
  directoryOffset_ = end.DirectoryOffset;
  return true;
}

void TZipExtractor::CheckEntries(TZipArchiveReader& archive) {
  spans_.assign(entries_.size(), TSpan{});
  for (size_t i = 0; i < entries_.size(); ++i) {
    const TZipEntry& e = entries_[i];
    TSpan& s = spans_[i];
    if (e.NeedsZip64()) {
      s.Problem = "Zip64 sizes are not supported";
      continue;
    }
    if (!e.NameValid) {
      s.Problem = "the name has no GBK form";
      continue;
    }
    uint8_t fixed[TZipLocalHeader::kFixedSize];
    TZipLocalHeader local;
    if (uint64_t{e.LocalHeaderOffset} + sizeof fixed > directoryOffset_ ||
        archive.ReadAt(e.LocalHeaderOffset, fixed, sizeof fixed) != static_cast<int64_t>(sizeof fixed) ||
        !ParseZipLocalHeader(fixed, sizeof fixed, local)) {
      s.Problem = "no local header at its offset";
      continue;
    }
    s.DataStart = uint64_t{e.LocalHeaderOffset} + sizeof fixed + local.NameLength + local.ExtraLength;
    std::string localName(local.NameLength, '\0');
    if (local.NameLength != e.RawName.size() ||
        archive.ReadAt(e.LocalHeaderOffset + sizeof fixed, localName.data(), localName.size()) !=
            static_cast<int64_t>(localName.size()) ||
        localName != e.RawName) {
      s.Problem = "local and central names differ";
      continue;
    }
    if (local.Method != e.Method || (local.Flags & 0x0009) != (e.Flags & 0x0009)) {
      s.Problem = "local and central headers differ";
      continue;
    }
    const auto agrees = [&](uint32_t localValue, uint32_t centralValue) {
      return localValue == centralValue || (e.HasDataDescriptor() && localValue == 0);
    };
    if (!agrees(local.Crc32, e.Crc32) || !agrees(local.CompressedSize, e.CompressedSize) ||
        !agrees(local.UncompressedSize, e.UncompressedSize)) {
      s.Problem = "local and central sizes differ";
      continue;
    }
    if (e.Method == 0 && e.CompressedSize != e.UncompressedSize) {
      s.Problem = "stored entry with two sizes";
      continue;
    }
    s.End = s.DataStart + e.CompressedSize;
    if (s.End > directoryOffset_) {
      s.Problem = "data runs into the central directory";
      continue;
    }
    if (e.HasDataDescriptor()) {
      uint8_t d[24] = {};
      const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof d, directoryOffset_ - s.End));
      if (n && archive.ReadAt(s.End, d, n) != static_cast<int64_t>(n)) {
        s.Problem = "unreadable data descriptor";
        continue;
      }
      // With or without its signature, with 32-bit or 64-bit sizes.
      const bool signature = n >= 4 && ZipLe32(d) == 0x08074b50;
      const uint8_t* v = d + (signature ? 4 : 0);
      const size_t base = signature ? 4 : 0;
      size_t length = 0;
      if (n >= base + 12 && ZipLe32(v) == e.Crc32 && ZipLe32(v + 4) == e.CompressedSize &&
          ZipLe32(v + 8) == e.UncompressedSize) {
        length = base + 12;
      } else if (n >= base + 20 && ZipLe32(v) == e.Crc32 && ZipLe32(v + 4) == e.CompressedSize && ZipLe32(v + 8) == 0 &&
                 ZipLe32(v + 12) == e.UncompressedSize && ZipLe32(v + 16) == 0) {
        length = base + 20;
      }
      if (length == 0) {
        s.Problem = "data descriptor disagrees with the central directory";
        continue;
      }
      s.End += length;
    }
  }

  // Two entries may not share bytes: an archive that points several names
  // at one block of data (or nests them) is not what any writer produces.
  std::vector<size_t> order;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (spans_[i].Problem.empty()) order.push_back(i);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return entries_[a].LocalHeaderOffset < entries_[b].LocalHeaderOffset; });
  uint64_t reach = 0;
  size_t reachOwner = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    if (k > 0 && entries_[i].LocalHeaderOffset < reach) {
      spans_[i].Problem = "its data overlaps another entry";
      spans_[reachOwner].Problem = "its data overlaps another entry";
    }
    if (spans_[i].End > reach || k == 0) {
      reach = spans_[i].End;
      reachOwner = i;
    }
  }
  totalBytes_ = 0;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (!entries_[i].IsDirectory()) totalBytes_ += entries_[i].UncompressedSize;
}

bool TZipExtractor::ExtractDirectory(const TZipEntry& entry) {
  if (!RecreateDirs) return true;  // folders are dropped: nothing to create
  const std::string relative = WithBackslashes(WithoutTrailingSeparators(entry.Name));
  std::string why;
  if (!IsSafeRelativePath(relative, &why)) {
    Log("refused zip entry " + entry.RawName + ": " + why);
    return false;
  }
  const std::string path = DestDir + relative;
  return plat::DirectoryExists(path) || plat::ForceDirectories(path);
}

bool TZipExtractor::Decode(const TZipEntry& e, IZipByteSource& in, IZipByteSink& sink) {
  if (window_) {
    window_->Restart(sink, e.UncompressedSize);
  } else {
    window_ = std::make_unique<TZipOutWindow>(sink, e.UncompressedSize);
  }
  TZipOutWindow& out = *window_;
  switch (e.Method) {
    case 0: return ZipStore(in, out);
    case 1: return ZipUnshrink(in, out);
    case 2:
    case 3:
    case 4:
    case 5: return ZipUnreduce(in, out, e.Method - 1);
    case 6: return ZipExplode(in, out, e.Flags);
    case 8:
      if (!inflater_) inflater_ = std::make_unique<TZipInflater>();
      return inflater_->Inflate(in, out);
    default: return false;
  }
}

bool TZipExtractor::MakeFolderOf(const std::string& target) {
  std::string folder = target.substr(0, target.size() - ZipBareName(target).size());
  if (knownFolders_.count(folder)) return true;
  if (!plat::DirectoryExists(folder) && !plat::ForceDirectories(folder)) return false;
  knownFolders_.insert(std::move(folder));
  return true;
}

void TZipExtractor::SetStamp(const std::string& target, uint32_t dosDateTime) {
  // Archives mostly carry one stamp for many files; the conversion reads
  // the time zone each time.
  if (!stampKnown_ || stampDos_ != dosDateTime) {
    stampKnown_ = true;
    stampDos_ = dosDateTime;
    stampValid_ = plat::StampTimeFromDos(dosDateTime, stampTime_);
  }
  if (stampValid_) plat::SetFileStamp(target, stampTime_);
}

bool TZipExtractor::ExtractFile(TZipArchiveReader& archive, size_t index, const std::string& target) {
  const TZipEntry& e = entries_[index];
  const TSpan& span = spans_[index];
  const auto fail = [&](const std::string& why) {
    Log("zip entry " + e.RawName + " not extracted: " + why);
    return false;
  };
  if (!span.Problem.empty()) return fail(span.Problem);
  if (e.IsEncrypted()) return fail("encrypted");
  if (!KnownMethod(e.Method)) {
    const std::string title = "Zip Error", text = "Unknown Compression Method";
    if (ErrorReporter) {
      ErrorReporter->ShowZipError(title, text);
    } else {
      plat::DebugOutput(title + ": " + text);
    }
    return fail("compression method " + std::to_string(e.Method));
  }
  if (!MakeFolderOf(target)) return fail("cannot create its folder");
  const plat::TPathState existing = plat::QueryPath(target);
  if (existing.IsDirectory) return fail("a folder has its name");
  if (existing.Exists) {
    if (OverwriteMode == TOverwriteMode::Never) return fail("the file exists");
    if (existing.ReadOnly) return fail("the existing file is read-only");
  }

  const std::string temporary = target + ".!unzip";
  plat::TFileStream out;
  // Never write through whatever was left under that name. Mostly there is
  // nothing, and creating a new file says so without a separate delete.
  if (!out.Open(temporary, plat::TFileStream::Mode::CreateNew)) {
    plat::DeleteFile(temporary);
    if (!out.Open(temporary, plat::TFileStream::Mode::Create)) return fail("cannot create the file");
  }
  // The entry's share of the written-bytes budget, and of its ratio limit
  // (checked on what the decoder writes, not on the declared size).
  const uint64_t budget = MaxWrittenBytes > writtenBytes_ ? MaxWrittenBytes - writtenBytes_ : 0;
  const uint64_t ratioCap = MaxRatio && e.CompressedSize <= UINT64_MAX / MaxRatio
                                ? std::max(RatioFloorBytes, e.CompressedSize * MaxRatio)
                                : UINT64_MAX;
  const uint64_t limit = std::min(budget, ratioCap);
  TTargetSink sink(out, e.UncompressedSize, limit, [this](uint64_t written, int percent) {
    if (OnFilePercentDone) OnFilePercentDone(percent);
    if (OnTotalPercentDone && totalBytes_) {
      const int total = static_cast<int>((doneBytes_ + written) * 100 / totalBytes_);
      if (total != lastTotalPercent_) {
        lastTotalPercent_ = total;
        OnTotalPercentDone(total);
      }
    }
  });
  TArchiveSource in(archive, span.DataStart, e.CompressedSize);
  const bool decoded = Decode(e, in, sink);
  out.Close();
  writtenBytes_ += sink.Written();
  if (sink.OverLimit()) {
    plat::DeleteFile(temporary);
    return fail(limit == budget ? "stopped at the limit of " + std::to_string(MaxWrittenBytes) + " written bytes"
                                : "stopped at " + std::to_string(limit) + " bytes, " + std::to_string(MaxRatio) +
                                      " times its compressed size");
  }
  if (!decoded || sink.Crc() != e.Crc32) {
    plat::DeleteFile(temporary);
    return fail(decoded ? "CRC-32 mismatch" : "bad compressed data");
  }
  if (!plat::RenameFile(temporary, target)) {
    plat::DeleteFile(temporary);
    return fail("cannot replace the file");
  }
  SetStamp(target, e.DosDateTime);
  if (RetainAttributes)
    plat::SetDosAttributes(
        target, e.ExternalAttributes & (plat::kDosReadOnly | plat::kDosHidden | plat::kDosSystem | plat::kDosArchive));
  return true;
}

int TZipExtractor::UnZip() {
  entries_.clear();
  spans_.clear();
  doneBytes_ = 0;
  writtenBytes_ = 0;
  lastTotalPercent_ = -1;
  knownFolders_.clear();
  stampKnown_ = false;
  if (DoAll) FilesList.clear();
  if (!DestDir.empty() && DestDir.back() != '\\' && DestDir.back() != '/') DestDir += '\\';

  plat::TFileStream archive;
  if (!archive.Open(ZipName, plat::TFileStream::Mode::Read)) return 0;
  if (!ReadDirectory(archive)) {
    entries_.clear();
    return 0;
  }
  TZipArchiveReader reader(archive);
  CheckEntries(reader);

  int count = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const TZipEntry& e = entries_[i];
    if (!DoAll && std::find(FilesList.begin(), FilesList.end(), e.Name) == FilesList.end()) continue;
    if (e.IsDirectory()) {
      if (spans_[i].Problem.empty() && ExtractDirectory(e)) ++count;
      continue;
    }
    const std::string relative = RecreateDirs ? WithBackslashes(e.Name) : ZipBareName(e.Name);
    std::string why;
    if (!IsSafeRelativePath(relative, &why)) {
      Log("refused zip entry " + e.RawName + ": " + why);
      doneBytes_ += e.UncompressedSize;
      continue;
    }
    if (e.IsSymbolicLink()) {
      Log("refused zip entry " + e.RawName + ": symbolic link");
      doneBytes_ += e.UncompressedSize;
      continue;
    }
    const std::string target = DestDir + relative;
    bool skip = false;
    if (OnStartUnZip) OnStartUnZip(static_cast<int>(i), target, skip);
    if (skip) {
      doneBytes_ += e.UncompressedSize;
      continue;
    }
    if (ExtractFile(reader, i, target)) ++count;
    doneBytes_ += e.UncompressedSize;
  }
  return count;
}

}  // namespace lg
