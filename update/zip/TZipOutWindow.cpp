#include "update/zip/TZipOutWindow.h"

#include <cstring>

namespace lg {

TZipOutWindow::TZipOutWindow(IZipByteSink& sink, uint64_t limit)
    : sink_(&sink), limit_(limit), ring_(new uint8_t[kSize]) {}

void TZipOutWindow::Restart(IZipByteSink& sink, uint64_t limit) {
  sink_ = &sink;
  limit_ = limit;
  total_ = 0;
  pending_ = 0;
  failed_ = false;
}

bool TZipOutWindow::Put(uint8_t byte) {
  if (failed_ || total_ == limit_) return false;
  ring_[static_cast<uint32_t>(total_) & kMask] = byte;
  ++total_;
  ++pending_;
  return FlushIfNeeded();
}

bool TZipOutWindow::Copy(uint32_t distance, uint32_t length) {
  if (distance == 0 || distance > kMaxDistance) return false;
  for (uint32_t i = 0; i < length; ++i) {
    // History before the entry's first byte reads as zeros.
    const uint8_t b = distance > total_ ? 0 : ring_[static_cast<uint32_t>(total_ - distance) & kMask];
    if (!Put(b)) return false;
  }
  return true;
}

bool TZipOutWindow::Write(const uint8_t* data, size_t size) {
  if (failed_) return false;
  while (size > 0) {
    if (total_ == limit_) return false;
    const uint32_t at = static_cast<uint32_t>(total_) & kMask;
    uint64_t run = kFlushAt - (pending_ < kFlushAt ? pending_ : kFlushAt);
    if (run == 0) run = 1;
    if (run > size) run = size;
    if (run > kSize - at) run = kSize - at;
    if (run > limit_ - total_) run = limit_ - total_;
    std::memcpy(ring_.get() + at, data, static_cast<size_t>(run));
    data += run;
    size -= static_cast<size_t>(run);
    total_ += run;
    pending_ += static_cast<uint32_t>(run);
    if (!FlushIfNeeded()) return false;
  }
  return true;
}

bool TZipOutWindow::Flush() {
  if (failed_) return false;
  const uint32_t end = static_cast<uint32_t>(total_) & kMask;
  uint32_t start = (end - pending_) & kMask;
  while (pending_ > 0) {
    const uint32_t run = start + pending_ > kSize ? kSize - start : pending_;
    if (!sink_->Write(ring_.get() + start, run)) {
      failed_ = true;
      return false;
    }
    pending_ -= run;
    start = (start + run) & kMask;
  }
  return true;
}

}  // namespace lg
