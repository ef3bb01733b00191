#include "update/JsonText.h"

#include "common/Platform.h"

namespace lg::json {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

std::u16string Utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF && i + 1 < n && IsContinuation(s[i + 1])) {
      out.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (s[i + 1] & 0x3F)));
      i += 2;
      continue;
    }
    if (c >= 0xE0 && c <= 0xEF && i + 2 < n && IsContinuation(s[i + 1]) && IsContinuation(s[i + 2])) {
      char32_t cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      // Overlong forms are refused; surrogate halves are accepted on
      // purpose (see the header).
      if (cp >= 0x800) {
        out.push_back(static_cast<char16_t>(cp));
        i += 3;
        continue;
      }
    }
    if (c >= 0xF0 && c <= 0xF4 && i + 3 < n && IsContinuation(s[i + 1]) && IsContinuation(s[i + 2]) &&
        IsContinuation(s[i + 3])) {
      char32_t cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
      if (cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        i += 4;
        continue;
      }
    }
    out.push_back(kReplacement);
    ++i;
  }
  return out;
}

std::string GbkFromWide(std::u16string_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (char16_t c : wide) {
    if (c >= 0x80) return plat::GbkFromUtf16(wide);
    out.push_back(static_cast<char>(c));
  }
  return out;
}

std::u16string WideFromGbk(std::string_view gbk) {
  std::u16string out;
  out.reserve(gbk.size());
  for (char c : gbk) {
    if (static_cast<unsigned char>(c) >= 0x80) return plat::Utf16FromGbk(gbk);
    out.push_back(static_cast<char16_t>(c));
  }
  return out;
}

}  // namespace lg::json
