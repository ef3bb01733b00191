// The raw shrink decoder over arbitrary bytes (see ZipDecoderFuzz.h; the
// parameter byte is unused).
#include "tests/fuzz/ZipDecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lg::fuzz::RunZipDecoder(data, size, [](auto& in, auto& out, uint8_t) { return lg::ZipUnshrink(in, out); });
}
