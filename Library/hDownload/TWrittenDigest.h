// The digests of a file's bytes from its first, worked out while a writer
// puts blocks into it, so that a finished download is not read a second
// time for its check. A block that lands at the hashed front is hashed from
// memory; one beyond it is only noted, and once the front reaches it its
// bytes are read back from the file (still in the page cache). A block
// written over bytes already hashed leaves the digests unknown, as does a
// gap: the caller then reads the file, as without this class.
//
// Threads: one at a time (the file's writer, then its owner after the
// writer has ended).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Crypto.h"
#include "common/FileStream.h"
#include "common/Md5.h"

namespace lg {

struct TFileDigests {
  std::string Md5;  // 32 lowercase hexadecimal digits
  crypto::TSha256Digest Sha256{};
  bool HasSha256 = false;
};

class TWrittenDigest {
 public:
  // More separate stretches than this beyond the front and the digests are
  // given up, so the bookkeeping stays small whatever the writes.
  static constexpr size_t kMaxStretches = 1024;

  explicit TWrittenDigest(bool withSha256);

  // After `size` bytes of `data` were written into `file` at `offset`.
  void Written(plat::TFileStream& file, int64_t offset, const char* data, size_t size);
  // The digests of the file's first `size` bytes: false unless exactly
  // those bytes were written and every one of them hashed. Once.
  bool Result(int64_t size, TFileDigests& out);

 private:
  void Hash(const char* data, size_t size);
  void NoteAhead(int64_t start, int64_t end);
  // Hashes the noted stretches that the front has reached, reading their
  // bytes beyond it back from `file`.
  void CatchUp(plat::TFileStream& file);
  void GiveUp();

  TMd5 md5_;
  std::unique_ptr<crypto::TSha256> sha256_;
  int64_t front_ = 0;  // bytes [0, front_) are hashed
  // Written beyond the front: start -> end (exclusive); disjoint, and two
  // never touch (touching stretches are merged).
  std::map<int64_t, int64_t> ahead_;
  bool unknown_ = false;
  std::vector<char> readBuffer_;
};

}  // namespace lg
