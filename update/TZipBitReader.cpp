#include "update/TZipBitReader.h"

#include <cstring>

namespace lg {

size_t TZipMemorySource::Read(uint8_t* data, size_t size) {
  const size_t n = size < size_ - pos_ ? size : size_ - pos_;
  if (n) std::memcpy(data, data_ + pos_, n);
  pos_ += n;
  return n;
}

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
