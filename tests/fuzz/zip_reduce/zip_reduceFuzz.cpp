// The raw reduce decoder over arbitrary bytes. The first three bytes choose
// the decoder's parameter and the declared size; the sink checks that
// nothing beyond the declared size is ever written.
#include <cstdint>
#include <cstdlib>

#include "update/ZipDecoders.h"

namespace {

struct TCountingSink : lg::IZipByteSink {
  uint64_t limit = 0, written = 0;
  bool Write(const uint8_t*, size_t size) override {
    written += size;
    if (written > limit) std::abort();
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t parameter = data[0];
  TCountingSink sink;
  sink.limit = (static_cast<uint64_t>(data[1]) | (static_cast<uint64_t>(data[2]) << 8)) * 4;
  lg::TZipMemorySource in(data + 3, size - 3);
  lg::TZipOutWindow out(sink, sink.limit);
  const bool ok = lg::ZipUnreduce(in, out, 1 + parameter % 4);
  out.Flush();
  if (ok && sink.written != sink.limit) std::abort();  // success means exactly the declared size
  return 0;
}
