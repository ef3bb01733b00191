#include "Library/hDownload/WebText.h"

#include "common/AdapterInfo.h"
#include "common/Platform.h"

namespace lg {

std::string UrlEncode(std::string_view text, bool blankAsPlus) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = plat::Utf8FromGbk(text);
  std::string out;
  out.reserve(utf8.size() * 3);
  for (unsigned char b : utf8) {
    const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '_' ||
                      b == '-' || b == '.' || b == '/' || b == '?' || b == '&' || b == '=';
    if (keep) {
      out += static_cast<char>(b);
    } else if (b == ' ') {
      out += blankAsPlus ? "+" : "%20";
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = uint8_t(bytes[i]) << 16;
    if (rest == 2) v |= uint8_t(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string SplitFirst(std::string& text, std::string_view delimiters) {
  const size_t first = text.find_first_of(delimiters);
  if (first == std::string::npos) return std::string();
  std::string head = text.substr(0, first);
  const size_t after = text.find_first_not_of(delimiters, first);
  text = after == std::string::npos ? std::string() : text.substr(after);
  return head;
}

std::string SplitLast(std::string& text, std::string_view delimiters) {
  const size_t last = text.find_last_of(delimiters);
  if (last == std::string::npos) return std::string();
  std::string tail = text.substr(last + 1);
  const size_t before = text.find_last_not_of(delimiters, last);
  text = before == std::string::npos ? std::string() : text.substr(0, before + 1);
  return tail;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty() || text.empty()) return std::string(text);
  std::string out;
  size_t pos = 0;
  for (;;) {
    const size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string TrimText(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return std::string(text.substr(b, e - b));
}

std::string AdapterMacText(int position) {
  return plat::AdapterHardwareAddressText(position);
}

}  // namespace lg
