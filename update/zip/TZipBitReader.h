// Reads a compressed stream as bits, least significant bit of each byte
// first, the order every zip method uses. Owned by one decoder run.
#pragma once

#include <cstdint>

#include "update/zip/ZipStreams.h"

namespace lg {

class TZipBitReader {
 public:
  explicit TZipBitReader(IZipByteSource& source) : source_(source) {}

  // The next `count` bits (1..24), the first read bit lowest. False when the
  // input ends first.
  bool Bits(unsigned count, uint32_t& value);
  // Whole bytes after dropping the bits left of the current byte.
  bool Byte(uint32_t& value) { return Bits(8, value); }

 private:
  bool Refill(unsigned count);

  IZipByteSource& source_;
  uint8_t buffer_[4096];
  size_t pos_ = 0;
  size_t length_ = 0;
  bool end_ = false;
  uint64_t accumulator_ = 0;
  unsigned available_ = 0;
};

}  // namespace lg
