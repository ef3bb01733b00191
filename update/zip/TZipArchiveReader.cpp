#include "update/zip/TZipArchiveReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lg {

int64_t TZipArchiveReader::ReadAt(uint64_t offset, void* data, size_t size) {
  if (offset > static_cast<uint64_t>(INT64_MAX) - size) return -1;
  auto out = static_cast<uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const uint64_t at = offset + done;
    if (at >= start_ && at < start_ + filled_) {
      const size_t skip = static_cast<size_t>(at - start_);
      const size_t n = std::min(filled_ - skip, size - done);
      std::memcpy(out + done, block_.get() + skip, n);
      done += n;
      continue;
    }
    if (size - done >= kBlock) {  // large reads bypass the block
      const int64_t got = file_.ReadAt(static_cast<int64_t>(at), out + done, size - done);
      if (got < 0) return -1;
      return static_cast<int64_t>(done) + got;
    }
    const int64_t got = file_.ReadAt(static_cast<int64_t>(at), block_.get(), kBlock);
    if (got < 0) {
      filled_ = 0;
      return -1;
    }
    start_ = at;
    filled_ = static_cast<size_t>(got);
    if (filled_ == 0) break;  // the end of the file
  }
  return static_cast<int64_t>(done);
}

}  // namespace lg
