#include "update/json/JsonText.h"

#include <cstdint>
#include <cstring>

#include "common/Platform.h"

namespace lg::json {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

std::u16string Utf16FromUtf8(std::string_view utf8) {
  // Never more code units than bytes: write into a buffer of that size.
  std::u16string buffer(utf8.size(), u'\0');
  buffer.resize(Utf16FromUtf8(utf8, buffer.data()));
  return buffer;
}

size_t Utf16FromUtf8(std::string_view utf8, char16_t* out) {
  char16_t* o = out;
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    // Eight ASCII bytes at a time: the common case of names and paths.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (word & 0x8080808080808080ull) break;
      for (int k = 0; k < 8; ++k) o[k] = s[i + k];
      o += 8;
      i += 8;
    }
    if (i >= n) break;
    unsigned char c = s[i];
    if (c < 0x80) {
      *o++ = c;
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF && i + 1 < n && IsContinuation(s[i + 1])) {
      *o++ = static_cast<char16_t>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
      i += 2;
      continue;
    }
    if (c >= 0xE0 && c <= 0xEF && i + 2 < n && IsContinuation(s[i + 1]) && IsContinuation(s[i + 2])) {
      char32_t cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      // Overlong forms are refused; surrogate halves are accepted on
      // purpose (see the header).
      if (cp >= 0x800) {
        *o++ = static_cast<char16_t>(cp);
        i += 3;
        continue;
      }
    }
    if (c >= 0xF0 && c <= 0xF4 && i + 3 < n && IsContinuation(s[i + 1]) && IsContinuation(s[i + 2]) &&
        IsContinuation(s[i + 3])) {
      char32_t cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
      if (cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        i += 4;
        continue;
      }
    }
    *o++ = kReplacement;
    ++i;
  }
  return static_cast<size_t>(o - out);
}

std::string GbkFromWide(std::u16string_view wide) {
  std::string out(wide.size(), '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] >= 0x80) return plat::GbkFromUtf16(wide);
    out[i] = static_cast<char>(wide[i]);
  }
  return out;
}

std::u16string WideFromGbk(std::string_view gbk) {
  std::u16string out(gbk.size(), u'\0');
  for (size_t i = 0; i < gbk.size(); ++i) {
    if (static_cast<unsigned char>(gbk[i]) >= 0x80) return plat::Utf16FromGbk(gbk);
    out[i] = static_cast<char16_t>(gbk[i]);
  }
  return out;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace lg::json
