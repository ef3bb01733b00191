// ASCII case folding: only 'A'..'Z' change, every other byte (GBK lead and
// trail bytes included) stays as it is, whatever the locale.
#pragma once

#include <string_view>

namespace lg {

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Equal when folded: "Content-Length" and "content-length" are the same text.
constexpr bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace lg
