#include "update/zip/TZipBitReader.h"

namespace lg {

bool TZipBitReader::Refill(unsigned count) {
  while (available_ < count) {
    if (pos_ == length_) {
      if (end_) return false;
      length_ = source_.Read(buffer_, sizeof buffer_);
      pos_ = 0;
      if (length_ == 0) {
        end_ = true;
        return false;
      }
    }
    accumulator_ |= static_cast<uint64_t>(buffer_[pos_++]) << available_;
    available_ += 8;
  }
  return true;
}

bool TZipBitReader::Bits(unsigned count, uint32_t& value) {
  if (available_ < count && !Refill(count)) return false;
  value = static_cast<uint32_t>(accumulator_ & ((uint64_t{1} << count) - 1));
  accumulator_ >>= count;
  available_ -= count;
  return true;
}

}  // namespace lg
