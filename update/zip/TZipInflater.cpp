#include "update/zip/TZipInflater.h"

#include <zlib.h>

namespace lg {

TZipInflater::TZipInflater() : z_(new z_stream{}) {
  ready_ = inflateInit2(z_.get(), -15) == Z_OK;
}

TZipInflater::~TZipInflater() {
  if (ready_) inflateEnd(z_.get());
}

bool TZipInflater::Inflate(IZipByteSource& in, TZipOutWindow& out) {
  if (!ready_ || inflateReset(z_.get()) != Z_OK) return false;
  z_stream& z = *z_;
  uint8_t input[16384];
  uint8_t output[32768];
  z.next_in = input;
  z.avail_in = 0;
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
    if (produced && !out.Write(output, produced)) return false;
    if (rc == Z_STREAM_END) return out.Flush() && out.Full();
    if (rc != Z_OK) return false;  // data error, or input ended (Z_BUF_ERROR)
  }
}

}  // namespace lg
