#include "update/zip/ZipStreams.h"

#include <cstring>

namespace lg {

size_t TZipMemorySource::Read(uint8_t* data, size_t size) {
  const size_t n = size < size_ - pos_ ? size : size_ - pos_;
  if (n) std::memcpy(data, data_ + pos_, n);
  pos_ += n;
  return n;
}

}  // namespace lg
