// Decoders of the zip compression methods the launcher accepts. Each reads
// one entry's compressed bytes from `in` and writes to `out`, whose limit is
// the entry's declared uncompressed size. True only when the data is valid
// and yields exactly that many bytes; a stream that is malformed, ends
// early or would write more than the limit gives false (nothing past the
// limit reaches the sink). Pure functions of their input: no files, no
// globals; any thread.
#pragma once

#include <cstdint>

#include "update/zip/TZipOutWindow.h"
#include "update/zip/ZipStreams.h"

namespace lg {

// Method 0: the bytes as they are.
bool ZipStore(IZipByteSource& in, TZipOutWindow& out);
// Method 8, raw deflate (RFC 1951) through zlib, is TZipInflater
// (TZipInflater.h): it keeps one zlib stream for many entries.
// Method 1: dynamic LZW with partial clearing ("shrink").
bool ZipUnshrink(IZipByteSource& in, TZipOutWindow& out);
// Methods 2 to 5: follower sets plus DLE-coded matches, compression factor
// 1 to 4 ("reduce").
bool ZipUnreduce(IZipByteSource& in, TZipOutWindow& out, int factor);
// Method 6: Shannon-Fano coded LZ77 ("implode"). `flags` is the entry's
// general purpose bit flag: bit 1 selects the 8 KiB window, bit 2 the
// literal tree.
bool ZipExplode(IZipByteSource& in, TZipOutWindow& out, uint16_t flags);

}  // namespace lg
