// Shared body of the legacy zip decoder fuzz targets: the first byte is the
// decoder's parameter, the next two the declared size (in units of 4 bytes),
// the rest the compressed stream. The sink aborts when anything beyond the
// declared size is written, and a decoder that reports success must have
// written exactly that size.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "update/zip/ZipDecoders.h"

namespace lg::fuzz {

struct TCountingSink : IZipByteSink {
  uint64_t limit = 0, written = 0;
  bool Write(const uint8_t*, size_t size) override {
    written += size;
    if (written > limit) std::abort();
    return true;
  }
};

// `decode(in, out, parameter)` runs one decoder.
template <typename Decode>
int RunZipDecoder(const uint8_t* data, size_t size, Decode decode) {
  if (size < 3) return 0;
  TCountingSink sink;
  sink.limit = (static_cast<uint64_t>(data[1]) | (static_cast<uint64_t>(data[2]) << 8)) * 4;
  TZipMemorySource in(data + 3, size - 3);
  TZipOutWindow out(sink, sink.limit);
  const bool ok = decode(in, out, data[0]);
  out.Flush();
  if (ok && sink.written != sink.limit) std::abort();
  return 0;
}

}  // namespace lg::fuzz
