#include "Library/hDownload/TDownLoadChunk.h"

#include <algorithm>
#include <cstdio>

#include "Library/hDownload/WebText.h"
#include "common/Decimal.h"
#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"

namespace lg {
namespace {

constexpr const char* kChunksSection = "Chunks";
// More keys than any real split produces; bounds the reading of a damaged file.
constexpr int kMaxChunks = 4096;
// The next state is written under this name, then renamed over the state.
constexpr const char* kFreshSuffix = ".!new";

// A decimal int64 without sign or junk; false otherwise.
bool ParseOffset(std::string_view text, int64_t& out) {
  return ParseDecimal(text, TDecimalSign::None, INT64_MAX, out, 18);
}

// "start-end": split at the first run of '-' or blanks; both parts must be
// plain decimal numbers.
bool ParseRange(std::string value, TByteRange& range) {
  const std::string start = SplitFirst(value, "- ");
  return ParseOffset(start, range.Start) && ParseOffset(value, range.End);
}

// True when nothing is left under `path` (usually nothing was there).
bool RemoveFile(const std::string& path) {
  return plat::DeleteFile(path) || !plat::FileExists(path) || (plat::ClearAttributes(path) && plat::DeleteFile(path));
}

void DebugLine(const char* format, int64_t a, int64_t b, int64_t c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, static_cast<long long>(a), static_cast<long long>(b),
                static_cast<long long>(c));
  plat::DebugOutput(buf);
}

}  // namespace

TDownLoadChunk::~TDownLoadChunk() {
  SaveToState();
}

std::string TDownLoadChunk::ChunkKey(int index) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "Chunk%03X", static_cast<unsigned>(index));
  return buf;
}

bool TDownLoadChunk::InitRange(const std::string& stateFile, int target, int64_t start, int64_t end,
                               std::string setup) {
  stateFile_ = stateFile;
  setup_ = std::move(setup);
  const bool removed = stateFile.empty() || (RemoveFile(stateFile) && RemoveFile(stateFile + kFreshSuffix));
  static const std::string format = Gbk("文件长度：%lld-%lld");
  DebugLine(format.c_str(), start, end);
  if (start <= end) {  // otherwise an empty span: nothing is left to fetch
    AddRange(start, end);
    Split(target);
  }
  return removed;
}

bool TDownLoadChunk::LoadAndSplit(const std::string& stateFile, int target, int64_t fileSize) {
  stateFile_ = stateFile;
  std::string text;
  plat::ReadWholeFile(stateFile, text);
  std::vector<TByteRange> loaded;
  for (int i = 0; i < kMaxChunks; ++i) {
    auto value = ProfileValue(text, kChunksSection, ChunkKey(i));
    if (!value || value->empty()) break;
    TByteRange r{};
    if (!ParseRange(*value, r) || r.Start > r.End || r.End >= fileSize) return false;
    loaded.push_back(r);
  }
  std::vector<TByteRange> sorted = loaded;
  std::sort(sorted.begin(), sorted.end(), [](const TByteRange& a, const TByteRange& b) { return a.Start < b.Start; });
  for (size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i].Start <= sorted[i - 1].End) return false;
  int64_t remaining = 0;
  for (const TByteRange& r : loaded) remaining += r.Length();
  {
    std::lock_guard<std::mutex> guard(lock_);
    freeRanges_ = std::move(loaded);
    onDisk_ = true;
  }
  setup_ = WithoutProfileSection(text, kChunksSection);
  remainingBytes_ = remaining;
  Split(target);
  return true;
}

void TDownLoadChunk::Split(int target) {
  std::lock_guard<std::mutex> guard(lock_);
  while (!freeRanges_.empty() && static_cast<int>(freeRanges_.size()) < target) {
    const size_t present = freeRanges_.size();
    for (size_t i = 0; i < present; ++i) {
      TByteRange& r = freeRanges_[i];
      const int64_t half = r.Length() / 2;
      // Too small to split: stop at once and keep the current order.
      if (half < kMinHalf) return;
      const TByteRange low{r.Start, r.Start + half};
      r.Start = r.Start + half + 1;
      freeRanges_.push_back(low);  // may move r; not used past this point
      DebugLine("%lld: %lld-%lld", static_cast<int64_t>(freeRanges_.size()), low.Start, low.End);
    }
  }
  std::sort(freeRanges_.begin(), freeRanges_.end(),
            [](const TByteRange& a, const TByteRange& b) { return a.Start > b.Start; });
}

void TDownLoadChunk::AddRange(int64_t start, int64_t end) {
  std::lock_guard<std::mutex> guard(lock_);
  freeRanges_.push_back({start, end});
}

std::optional<TByteRange> TDownLoadChunk::PopRange() {
  std::lock_guard<std::mutex> guard(lock_);
  if (freeRanges_.empty()) return std::nullopt;
  TByteRange r = freeRanges_.back();
  freeRanges_.pop_back();
  return r;
}

void TDownLoadChunk::Discard() {
  std::lock_guard<std::mutex> guard(lock_);
  freeRanges_.clear();
}

std::vector<TByteRange> TDownLoadChunk::Ranges() const {
  std::lock_guard<std::mutex> guard(lock_);
  return freeRanges_;
}

void TDownLoadChunk::SaveToState() {
  if (stateFile_.empty()) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (freeRanges_.empty()) {
    if (!onDisk_) return;
    RemoveFile(stateFile_);
    RemoveFile(stateFile_ + kFreshSuffix);  // left by a save cut short by a crash
    return;
  }
  WriteState(freeRanges_);
  freeRanges_.clear();
}

bool TDownLoadChunk::SaveSnapshot(const std::vector<TByteRange>& ranges) const {
  if (stateFile_.empty()) return false;
  // Same lock as SaveToState: two writers of the file never meet.
  std::lock_guard<std::mutex> guard(lock_);
  return WriteState(ranges);
}

bool TDownLoadChunk::WriteState(const std::vector<TByteRange>& ranges) const {
  onDisk_ = true;
  std::string text = setup_;
  for (size_t i = 0; i < ranges.size(); ++i) {
    const TByteRange& r = ranges[i];
    text = WithProfileValue(text, kChunksSection, ChunkKey(static_cast<int>(i)),
                            std::to_string(r.Start) + "-" + std::to_string(r.End));
  }
  const std::string fresh = stateFile_ + kFreshSuffix;
  plat::TFileStream out;
  bool ok = out.Open(fresh, plat::TFileStream::Mode::Create) && out.Write(text.data(), text.size()) && out.Flush();
  out.Close();
  ok = ok && plat::RenameFile(fresh, stateFile_);
  if (!ok) plat::DeleteFile(fresh);
  return ok;
}

}  // namespace lg
