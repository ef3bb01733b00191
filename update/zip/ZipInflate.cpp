// Method 8: raw deflate through zlib.
#include "update/zip/TZipInflater.h"
#include "update/zip/ZipDecoders.h"

namespace lg {

bool ZipInflate(IZipByteSource& in, TZipOutWindow& out) {
  TZipInflater inflater;
  return inflater.Inflate(in, out);
}

}  // namespace lg
