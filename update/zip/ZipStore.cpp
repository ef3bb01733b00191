// Method 0: stored bytes.
#include "update/zip/ZipDecoders.h"

namespace lg {

bool ZipStore(IZipByteSource& in, TZipOutWindow& out) {
  uint8_t buffer[16384];
  for (;;) {
    const size_t n = in.Read(buffer, sizeof buffer);
    if (n == 0) break;
    if (!out.Write(buffer, n)) return false;  // more data than declared
  }
  return out.Flush() && out.Full();
}

}  // namespace lg
