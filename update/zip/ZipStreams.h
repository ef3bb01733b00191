// Memory-backed byte sources and sinks for the zip decoders (tests, fuzz
// targets); the interfaces are IZipByteSource.h and IZipByteSink.h. One
// decoder run uses one source and one sink, both owned by the caller and
// used from the caller's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/zip/IZipByteSink.h"
#include "update/zip/IZipByteSource.h"

namespace lg {

// A source over a block of memory (tests, fuzz targets).
class TZipMemorySource : public IZipByteSource {
 public:
  TZipMemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Read(uint8_t* data, size_t size) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A sink that appends to a string (tests, fuzz targets).
class TZipStringSink : public IZipByteSink {
 public:
  bool Write(const uint8_t* data, size_t size) override {
    Data.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  std::string Data;
};

}  // namespace lg
