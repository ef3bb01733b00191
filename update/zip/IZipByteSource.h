// Compressed input of a zip decoder: an archive file on the update thread,
// memory in the tests and the fuzz targets. Owned by the caller and used
// from the caller's thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lg {

// Compressed input. Read returns the number of bytes placed in `data`,
// 0 at the end of the input (the end of the entry's compressed data).
class IZipByteSource {
 public:
  virtual ~IZipByteSource() = default;
  virtual size_t Read(uint8_t* data, size_t size) = 0;
};

}  // namespace lg
