// Raw deflate (method 8) through zlib, with one zlib stream kept for many
// entries: each Inflate resets the stream instead of allocating a new one,
// which an archive of thousands of small files would otherwise pay for per
// file. Owned and used by one thread; not copyable.
#pragma once

#include <memory>

#include "update/zip/TZipOutWindow.h"
#include "update/zip/ZipStreams.h"

struct z_stream_s;

namespace lg {

class TZipInflater {
 public:
  TZipInflater();
  ~TZipInflater();
  TZipInflater(const TZipInflater&) = delete;
  TZipInflater& operator=(const TZipInflater&) = delete;

  // One entry, as the decoders of ZipDecoders.h read and write theirs.
  bool Inflate(IZipByteSource& in, TZipOutWindow& out);

 private:
  std::unique_ptr<z_stream_s> z_;
  bool ready_ = false;  // inflateInit2 succeeded
};

}  // namespace lg
