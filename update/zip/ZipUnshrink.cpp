// Method 1 ("shrink"): LZW with codes of 9 to 13 bits. Code 256 escapes a
// control code: 1 widens the codes by one bit, 2 frees every leaf of the
// string table (a partial clear); freed codes are reused lowest first.
//
// A freed code keeps its prefix and byte until it is reused, so a string
// that was built on it before the clear still reads the same. Chains are
// walked into a bounded stack; a cycle or an over-long chain, which only
// corrupt data produces, ends the entry.
#include <array>
#include <vector>

#include "update/zip/TZipBitReader.h"
#include "update/zip/ZipDecoders.h"

namespace lg {
namespace {

constexpr uint32_t kControl = 256;
constexpr uint32_t kFirstFree = 257;
constexpr uint32_t kCodes = 8192;  // 13 bits
constexpr unsigned kMinBits = 9, kMaxBits = 13;

class TUnshrinker {
 public:
  TUnshrinker(IZipByteSource& in, TZipOutWindow& out) : bits_(in), out_(out) {
    for (uint32_t c = 0; c < 256; ++c) {
      prefix_[c] = 0;
      byte_[c] = static_cast<uint8_t>(c);
      used_[c] = true;
    }
    for (uint32_t c = kControl; c < kCodes; ++c) used_[c] = false;
    used_[kControl] = true;  // never handed out
  }

  bool Run() {
    if (out_.Full()) return out_.Flush();  // an empty entry has no codes at all
    uint32_t code;
    if (!bits_.Bits(codeBits_, code) || code > 255) return false;
    uint8_t first = static_cast<uint8_t>(code);
    if (!out_.Put(first)) return false;
    uint32_t previous = code;
    while (!out_.Full()) {
      if (!bits_.Bits(codeBits_, code)) return false;
      if (code == kControl) {
        uint32_t control;
        if (!bits_.Bits(codeBits_, control)) return false;
        if (control == 1 && codeBits_ < kMaxBits) {
          ++codeBits_;
        } else if (control == 2) {
          PartialClear();
        } else {
          return false;
        }
        continue;
      }
      const uint32_t next = NextFree();
      size_t depth = 0;
      if (!used_[code]) {
        // The string being defined by this very step: the previous string
        // plus its own first byte.
        if (code != next) return false;
        if (!Push(previous, depth)) return false;
        first = stack_[depth - 1];
        // The last byte of the new string is its first byte.
        std::copy_backward(stack_.begin(), stack_.begin() + depth, stack_.begin() + depth + 1);
        stack_[0] = first;
        ++depth;
      } else {
        if (!Push(code, depth)) return false;
        first = stack_[depth - 1];
      }
      while (depth > 0)
        if (!out_.Put(stack_[--depth])) return false;
      if (next < kCodes) {
        if (next == previous) return false;  // would link a code to itself
        prefix_[next] = static_cast<uint16_t>(previous);
        byte_[next] = first;
        used_[next] = true;
        nextFree_ = next + 1;
      }
      previous = code;
    }
    return out_.Flush();
  }

 private:
  // Pushes the string of `code` in reverse (last byte first).
  bool Push(uint32_t code, size_t& depth) {
    for (;;) {
      if (depth + 1 >= stack_.size()) return false;  // room for the KwKwK byte
      stack_[depth++] = byte_[code];
      if (code < 256) return true;
      code = prefix_[code];
    }
  }

  uint32_t NextFree() {
    while (nextFree_ < kCodes && used_[nextFree_]) ++nextFree_;
    return nextFree_;
  }

  void PartialClear() {
    std::vector<bool> hasChild(kCodes, false);
    for (uint32_t c = kFirstFree; c < kCodes; ++c)
      if (used_[c]) hasChild[prefix_[c]] = true;
    for (uint32_t c = kFirstFree; c < kCodes; ++c)
      if (!hasChild[c]) used_[c] = false;
    nextFree_ = kFirstFree;
  }

  TZipBitReader bits_;
  TZipOutWindow& out_;
  unsigned codeBits_ = kMinBits;
  uint32_t nextFree_ = kFirstFree;
  std::array<uint16_t, kCodes> prefix_{};
  std::array<uint8_t, kCodes> byte_{};
  std::array<bool, kCodes> used_{};
  std::array<uint8_t, kCodes + 1> stack_{};
};

}  // namespace

bool ZipUnshrink(IZipByteSource& in, TZipOutWindow& out) {
  TUnshrinker decoder(in, out);
  return decoder.Run();
}

}  // namespace lg
