// The output side of a zip decoder: keeps the last 32 KiB written (the
// history that matches copy from), hands the bytes on to a sink in blocks,
// and never lets more than the entry's declared size through. Owned by one
// decoder run at a time; Restart begins the next entry with the same buffer,
// so an archive of many small entries allocates it once. The sink stays the
// caller's.
#pragma once

#include <cstdint>
#include <memory>

#include "update/zip/ZipStreams.h"

namespace lg {

class TZipOutWindow {
 public:
  static constexpr uint32_t kMaxDistance = 32768;

  TZipOutWindow(IZipByteSink& sink, uint64_t limit);
  ~TZipOutWindow() = default;
  TZipOutWindow(const TZipOutWindow&) = delete;
  TZipOutWindow& operator=(const TZipOutWindow&) = delete;

  // Forgets the history and the counts and writes the next entry to `sink`,
  // at most `limit` bytes.
  void Restart(IZipByteSink& sink, uint64_t limit);

  // False when the declared size is already reached or the sink failed.
  bool Put(uint8_t byte);
  // Copies `length` bytes from `distance` back (1..kMaxDistance); history
  // before the first byte reads as zeros. False when the copy would run
  // past the declared size (nothing beyond it is written) or the sink failed.
  bool Copy(uint32_t distance, uint32_t length);
  bool Write(const uint8_t* data, size_t size);
  // Passes the pending bytes to the sink; call once at the end.
  bool Flush();

  bool Full() const { return total_ == limit_; }
  uint64_t Total() const { return total_; }
  bool Failed() const { return failed_; }

 private:
  static constexpr uint32_t kSize = 65536;  // twice the history: flushes stay behind it
  static constexpr uint32_t kMask = kSize - 1;
  static constexpr uint32_t kFlushAt = 16384;

  bool FlushIfNeeded() { return pending_ < kFlushAt || Flush(); }

  IZipByteSink* sink_;
  uint64_t limit_;
  uint64_t total_ = 0;
  uint32_t pending_ = 0;  // bytes written to the ring and not yet to the sink
  bool failed_ = false;
  // Left uninitialised: only written bytes are ever read back.
  std::unique_ptr<uint8_t[]> ring_;
};

}  // namespace lg
