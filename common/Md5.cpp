#include "common/Md5.h"

#include <cstring>

#include "common/HexText.h"
#include "common/MappedFile.h"

namespace lg {
namespace {

inline uint32_t Rotl(uint32_t x, int c) {
  return (x << c) | (x >> (32 - c));
}

inline uint32_t Load32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);  // every supported target is little-endian
  return v;
}

// The word and the constant are added first: they do not wait for the
// previous step, so the processor adds them while that step finishes.
#define LG_MD5_STEP(f, a, b, c, d, x, t, s) \
  a += (x) + (t);                           \
  a += f(b, c, d);                          \
  a = Rotl(a, s) + b;

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) {
  return z ^ (x & (y ^ z));
}
// (x & z) | (y & ~z) with its two halves disjoint, so they can be added:
// y & ~z does not wait for x, the previous step's result.
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) {
  return (y & ~z) + (x & z);
}
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) {
  return x ^ y ^ z;
}
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) {
  return y ^ (x | ~z);
}

}  // namespace

TMd5::TMd5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u}, buffer_{} {}

void TMd5::Transform(const unsigned char* p, size_t count) {
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (; count > 0; --count, p += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Load32(p + 4 * i);
    const uint32_t sa = a, sb = b, sc = c, sd = d;

    LG_MD5_STEP(F, a, b, c, d, x[0], 0xd76aa478, 7)
    LG_MD5_STEP(F, d, a, b, c, x[1], 0xe8c7b756, 12)
    LG_MD5_STEP(F, c, d, a, b, x[2], 0x242070db, 17)
    LG_MD5_STEP(F, b, c, d, a, x[3], 0xc1bdceee, 22)
    LG_MD5_STEP(F, a, b, c, d, x[4], 0xf57c0faf, 7)
    LG_MD5_STEP(F, d, a, b, c, x[5], 0x4787c62a, 12)
    LG_MD5_STEP(F, c, d, a, b, x[6], 0xa8304613, 17)
    LG_MD5_STEP(F, b, c, d, a, x[7], 0xfd469501, 22)
    LG_MD5_STEP(F, a, b, c, d, x[8], 0x698098d8, 7)
    LG_MD5_STEP(F, d, a, b, c, x[9], 0x8b44f7af, 12)
    LG_MD5_STEP(F, c, d, a, b, x[10], 0xffff5bb1, 17)
    LG_MD5_STEP(F, b, c, d, a, x[11], 0x895cd7be, 22)
    LG_MD5_STEP(F, a, b, c, d, x[12], 0x6b901122, 7)
    LG_MD5_STEP(F, d, a, b, c, x[13], 0xfd987193, 12)
    LG_MD5_STEP(F, c, d, a, b, x[14], 0xa679438e, 17)
    LG_MD5_STEP(F, b, c, d, a, x[15], 0x49b40821, 22)

    LG_MD5_STEP(G, a, b, c, d, x[1], 0xf61e2562, 5)
    LG_MD5_STEP(G, d, a, b, c, x[6], 0xc040b340, 9)
    LG_MD5_STEP(G, c, d, a, b, x[11], 0x265e5a51, 14)
    LG_MD5_STEP(G, b, c, d, a, x[0], 0xe9b6c7aa, 20)
    LG_MD5_STEP(G, a, b, c, d, x[5], 0xd62f105d, 5)
    LG_MD5_STEP(G, d, a, b, c, x[10], 0x02441453, 9)
    LG_MD5_STEP(G, c, d, a, b, x[15], 0xd8a1e681, 14)
    LG_MD5_STEP(G, b, c, d, a, x[4], 0xe7d3fbc8, 20)
    LG_MD5_STEP(G, a, b, c, d, x[9], 0x21e1cde6, 5)
    LG_MD5_STEP(G, d, a, b, c, x[14], 0xc33707d6, 9)
    LG_MD5_STEP(G, c, d, a, b, x[3], 0xf4d50d87, 14)
    LG_MD5_STEP(G, b, c, d, a, x[8], 0x455a14ed, 20)
    LG_MD5_STEP(G, a, b, c, d, x[13], 0xa9e3e905, 5)
    LG_MD5_STEP(G, d, a, b, c, x[2], 0xfcefa3f8, 9)
    LG_MD5_STEP(G, c, d, a, b, x[7], 0x676f02d9, 14)
    LG_MD5_STEP(G, b, c, d, a, x[12], 0x8d2a4c8a, 20)

    LG_MD5_STEP(H, a, b, c, d, x[5], 0xfffa3942, 4)
    LG_MD5_STEP(H, d, a, b, c, x[8], 0x8771f681, 11)
    LG_MD5_STEP(H, c, d, a, b, x[11], 0x6d9d6122, 16)
    LG_MD5_STEP(H, b, c, d, a, x[14], 0xfde5380c, 23)
    LG_MD5_STEP(H, a, b, c, d, x[1], 0xa4beea44, 4)
    LG_MD5_STEP(H, d, a, b, c, x[4], 0x4bdecfa9, 11)
    LG_MD5_STEP(H, c, d, a, b, x[7], 0xf6bb4b60, 16)
    LG_MD5_STEP(H, b, c, d, a, x[10], 0xbebfbc70, 23)
    LG_MD5_STEP(H, a, b, c, d, x[13], 0x289b7ec6, 4)
    LG_MD5_STEP(H, d, a, b, c, x[0], 0xeaa127fa, 11)
    LG_MD5_STEP(H, c, d, a, b, x[3], 0xd4ef3085, 16)
    LG_MD5_STEP(H, b, c, d, a, x[6], 0x04881d05, 23)
    LG_MD5_STEP(H, a, b, c, d, x[9], 0xd9d4d039, 4)
    LG_MD5_STEP(H, d, a, b, c, x[12], 0xe6db99e5, 11)
    LG_MD5_STEP(H, c, d, a, b, x[15], 0x1fa27cf8, 16)
    LG_MD5_STEP(H, b, c, d, a, x[2], 0xc4ac5665, 23)

    LG_MD5_STEP(I, a, b, c, d, x[0], 0xf4292244, 6)
    LG_MD5_STEP(I, d, a, b, c, x[7], 0x432aff97, 10)
    LG_MD5_STEP(I, c, d, a, b, x[14], 0xab9423a7, 15)
    LG_MD5_STEP(I, b, c, d, a, x[5], 0xfc93a039, 21)
    LG_MD5_STEP(I, a, b, c, d, x[12], 0x655b59c3, 6)
    LG_MD5_STEP(I, d, a, b, c, x[3], 0x8f0ccc92, 10)
    LG_MD5_STEP(I, c, d, a, b, x[10], 0xffeff47d, 15)
    LG_MD5_STEP(I, b, c, d, a, x[1], 0x85845dd1, 21)
    LG_MD5_STEP(I, a, b, c, d, x[8], 0x6fa87e4f, 6)
    LG_MD5_STEP(I, d, a, b, c, x[15], 0xfe2ce6e0, 10)
    LG_MD5_STEP(I, c, d, a, b, x[6], 0xa3014314, 15)
    LG_MD5_STEP(I, b, c, d, a, x[13], 0x4e0811a1, 21)
    LG_MD5_STEP(I, a, b, c, d, x[4], 0xf7537e82, 6)
    LG_MD5_STEP(I, d, a, b, c, x[11], 0xbd3af235, 10)
    LG_MD5_STEP(I, c, d, a, b, x[2], 0x2ad7d2bb, 15)
    LG_MD5_STEP(I, b, c, d, a, x[9], 0xeb86d391, 21)

    a += sa;
    b += sb;
    c += sc;
    d += sd;
  }
  state_[0] = a;
  state_[1] = b;
  state_[2] = c;
  state_[3] = d;
}

#undef LG_MD5_STEP

void TMd5::Update(const void* data, size_t size) {
  auto p = static_cast<const unsigned char*>(data);
  length_ += size;
  if (buffered_ > 0) {
    size_t take = std::min(size, sizeof buffer_ - buffered_);
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < sizeof buffer_) return;
    Transform(buffer_, 1);
    buffered_ = 0;
  }
  if (size >= 64) {
    Transform(p, size / 64);
    p += size & ~size_t{63};
    size &= 63;
  }
  if (size > 0) {
    std::memcpy(buffer_, p, size);
    buffered_ = size;
  }
}

void TMd5::Final(unsigned char digest[16]) {
  const uint64_t bits = length_ * 8;
  static const unsigned char kPad[64] = {0x80};
  size_t padLength = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
  Update(kPad, padLength);
  unsigned char lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  Update(lengthBytes, 8);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (8 * j));
}

std::string TMd5::FinalHex() {
  unsigned char digest[16];
  Final(digest);
  return HexDigest(digest);
}

std::string HexDigest(const unsigned char digest[16]) {
  return HexText(digest, 16);
}

std::string Md5OfText(std::string_view text) {
  return Md5OfBuffer(text.data(), text.size());
}

std::string Md5OfBuffer(const void* data, size_t size) {
  TMd5 md5;
  md5.Update(data, size);
  return md5.FinalHex();
}

std::string Md5OfFile(const std::string& path) {
  plat::TMappedFile file;
  if (!file.Open(path)) return std::string(32, '0');
  TMd5 md5;
  for (int64_t offset = 0; offset < file.Size(); offset += kMd5FileWindow) {
    size_t length = static_cast<size_t>(std::min<int64_t>(kMd5FileWindow, file.Size() - offset));
    const unsigned char* view = file.Map(offset, length);
    // The file shrank or the mapping failed: what could not be read makes
    // the digest wrong, which the callers treat as "changed".
    if (!view) return std::string(32, '0');
    md5.Update(view, length);
  }
  return md5.FinalHex();
}

}  // namespace lg
