// The byte ranges of one file that are still to be fetched by the segmented
// downloader, and the ".!dl" state file that keeps them between runs.
//
// Threads: AddRange, PopRange, Split and SaveToState take the pool's lock and
// may be called from any worker and from the owner; Load* and InitRange run
// before any worker uses the pool. In the downloader this lock is taken
// while the downloader's own lock is held, never the other way round.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lg {

struct TByteRange {
  int64_t Start;
  int64_t End;  // inclusive
  int64_t Length() const { return End - Start + 1; }
  bool operator==(const TByteRange&) const = default;
};

class TDownLoadChunk {
 public:
  // Ranges are never split below this half size (a piece stays >= 256 KiB).
  static constexpr int64_t kMinHalf = 262144;

  TDownLoadChunk() = default;
  // Saves the remaining ranges (or deletes the state file when none remain).
  ~TDownLoadChunk();
  TDownLoadChunk(const TDownLoadChunk&) = delete;
  TDownLoadChunk& operator=(const TDownLoadChunk&) = delete;

  // A fresh pool covering [start, end], split towards `target` ranges;
  // empty when start > end. `setup` is the state file's text besides its
  // ranges. A state file left under the name (or a save of it cut short)
  // is removed at once, as its ranges do not describe the new data; the
  // new one is first written by a save, since a state without ranges
  // resumes nothing. False when an old state file cannot be removed.
  bool InitRange(const std::string& stateFile, int target, int64_t start, int64_t end, std::string setup = {});
  // A pool resumed from the state file's "Chunks" section (its other text
  // is kept for the saves). The saved ranges
  // are checked against `fileSize`: a range that runs backwards, reaches past
  // the file, is not a pair of decimal numbers or overlaps another makes the
  // whole state invalid; then the pool stays empty and false is returned, so
  // the download starts afresh instead of trusting a damaged file.
  bool LoadAndSplit(const std::string& stateFile, int target, int64_t fileSize);

  void AddRange(int64_t start, int64_t end);
  // Removes and returns the last range: the lowest offsets after a split,
  // and the unfinished part of a failed piece right after it was returned.
  std::optional<TByteRange> PopRange();

  // Sum of the lengths loaded from the state file.
  int64_t RemainingBytes() const { return remainingBytes_; }
  const std::string& StateFile() const { return stateFile_; }
  std::vector<TByteRange> Ranges() const;

  // Forgets every range, so that destruction deletes the state file: for a
  // data file that can no longer be trusted.
  void Discard();

  // Writes the ranges to the state file and empties the list; deletes the
  // state file when the list is empty. Called by the destructor.
  void SaveToState();

  // Writes `ranges` as the state file's "Chunks" section while the download
  // goes on, keeping the list. The file is replaced in one step (written
  // to "<state>.!new", put on disk, renamed over it), so a crash leaves the
  // old state or the new one, never a mix. The caller makes sure every byte
  // outside `ranges` is on disk before calling. False when it failed.
  bool SaveSnapshot(const std::vector<TByteRange>& ranges) const;

  // "Chunk" + position as three upper-case hexadecimal digits.
  static std::string ChunkKey(int index);

 private:
  void Split(int target);
  bool WriteState(const std::vector<TByteRange>& ranges) const;

  mutable std::mutex lock_;
  std::vector<TByteRange> freeRanges_;
  int64_t remainingBytes_ = 0;
  std::string stateFile_;
  std::string setup_;  // the state's text without its ranges
  // The state file may exist: loaded from it, or a save was tried. A pool
  // that never saved has nothing to delete at the end.
  mutable bool onDisk_ = false;  // guarded by lock_
};

}  // namespace lg
