// Method 8: raw deflate through zlib.
#include <zlib.h>

#include "update/zip/ZipDecoders.h"

namespace lg {

bool ZipInflate(IZipByteSource& in, TZipOutWindow& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  uint8_t input[16384];
  uint8_t output[32768];
  bool ok = false;
  for (;;) {
    if (z.avail_in == 0) {
      z.avail_in = static_cast<uInt>(in.Read(input, sizeof input));
      z.next_in = input;
      // Running out of input is only an error if inflate cannot finish with
      // what it already holds; Z_BUF_ERROR below reports it.
    }
    z.next_out = output;
    z.avail_out = sizeof output;
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t produced = sizeof output - z.avail_out;
    if (produced && !out.Write(output, produced)) break;
    if (rc == Z_STREAM_END) {
      ok = out.Flush() && out.Full();
      break;
    }
    if (rc != Z_OK) break;  // data error, or input ended (Z_BUF_ERROR)
  }
  inflateEnd(&z);
  return ok;
}

}  // namespace lg
