// Positioned reads of an open archive through one block buffer. The
// extractor reads every local header and every entry's data in archive
// order, mostly a few hundred bytes at a time; served from a 64 KiB block
// they cost one system call per block instead of three per entry. The file
// stays the caller's and must outlive the reader; one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/FileStream.h"

namespace lg {

class TZipArchiveReader {
 public:
  static constexpr size_t kBlock = 65536;

  explicit TZipArchiveReader(plat::TFileStream& file) : file_(file), block_(new uint8_t[kBlock]) {}

  // As TFileStream::ReadAt: the bytes read (fewer at the end of the file),
  // -1 on a read error.
  int64_t ReadAt(uint64_t offset, void* data, size_t size);

 private:
  plat::TFileStream& file_;
  std::unique_ptr<uint8_t[]> block_;
  uint64_t start_ = 0;  // file offset of block_[0]
  size_t filled_ = 0;   // valid bytes in block_
};

}  // namespace lg
