// RFC 1321 MD5. Digests are written as 32 lowercase hexadecimal digits, high
// nibble first. Plain functions and a small incremental context; no state is
// shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lg {

class TMd5 {
 public:
  TMd5();
  void Update(const void* data, size_t size);
  // Finishes the digest; the context must not be updated afterwards.
  void Final(unsigned char digest[16]);
  std::string FinalHex();

 private:
  void Transform(const unsigned char* blocks, size_t count);

  uint32_t state_[4];
  uint64_t length_ = 0;
  unsigned char buffer_[64];
  size_t buffered_ = 0;
};

std::string HexDigest(const unsigned char digest[16]);
std::string Md5OfText(std::string_view text);
std::string Md5OfBuffer(const void* data, size_t size);
// Digest of a file read through 4 MiB windows mapped one after another;
// 32 "0" digits when the file cannot be opened.
std::string Md5OfFile(const std::string& path);

inline constexpr size_t kMd5FileWindow = 4 * 1024 * 1024;

}  // namespace lg
