// The raw implode decoder over arbitrary bytes (see ZipDecoderFuzz.h).
#include "tests/fuzz/ZipDecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lg::fuzz::RunZipDecoder(data, size, [](auto& in, auto& out, uint8_t parameter) {
    return lg::ZipExplode(in, out, static_cast<uint16_t>(parameter & 6));
  });
}
