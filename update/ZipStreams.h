// The byte interfaces between the zip decoders and whatever feeds and
// receives them: an archive file on the update thread, memory in the tests
// and the fuzz targets. One decoder run uses one source and one sink, both
// owned by the caller and used from the caller's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lg {

// Compressed input. Read returns the number of bytes placed in `data`,
// 0 at the end of the input (the end of the entry's compressed data).
class IZipByteSource {
 public:
  virtual ~IZipByteSource() = default;
  virtual size_t Read(uint8_t* data, size_t size) = 0;
};

// Decoded output. False stops the decoder (disk full, write error).
class IZipByteSink {
 public:
  virtual ~IZipByteSink() = default;
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

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
