// Decoded output of a zip decoder: a file being extracted, or memory in the
// tests and the fuzz targets. Owned by the caller and used from the caller's
// thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lg {

// Decoded output. False stops the decoder (disk full, write error).
class IZipByteSink {
 public:
  virtual ~IZipByteSink() = default;
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

}  // namespace lg
