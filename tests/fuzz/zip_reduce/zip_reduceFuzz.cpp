// The raw reduce decoder (methods 2 to 5) over arbitrary bytes (see ZipDecoderFuzz.h).
#include "tests/fuzz/ZipDecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lg::fuzz::RunZipDecoder(
      data, size, [](auto& in, auto& out, uint8_t parameter) { return lg::ZipUnreduce(in, out, 1 + parameter % 4); });
}
