#include "launcher/DelimitedText.h"

#include "common/Gbk.h"

namespace lg {
namespace {

class TScanner {
 public:
  explicit TScanner(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

  unsigned char At(size_t i) const { return i < text_.size() ? static_cast<unsigned char>(text_[i]) : 0; }
  // The next character's position: a lead byte takes its trail byte with it,
  // whatever that byte is, unless the text ends there.
  size_t Next(size_t i) const { return IsGbkLeadByte(At(i)) && At(i + 1) != 0 ? i + 2 : i + 1; }
  static bool IsSpace(unsigned char c) { return c >= 1 && c <= 32; }
  std::string_view Slice(size_t from, size_t to) const { return text_.substr(from, to - from); }

 private:
  std::string_view text_;
};

// `p` is at the opening quote; leaves `p` behind the closing one. An
// unterminated quote takes the rest of the text.
std::string ExtractQuoted(const TScanner& s, size_t& p) {
  std::string token;
  ++p;
  while (s.At(p) != 0) {
    if (s.At(p) == '"') {
      if (s.At(p + 1) != '"') {
        ++p;
        break;
      }
      token += '"';
      p += 2;
      continue;
    }
    size_t n = s.Next(p);
    token.append(s.Slice(p, n));
    p = n;
  }
  return token;
}

}  // namespace

std::vector<std::string> SplitDelimited(std::string_view text, char delimiter) {
  const TScanner s(text);
  std::vector<std::string> tokens;
  size_t p = 0;
  while (TScanner::IsSpace(s.At(p))) p = s.Next(p);
  while (s.At(p) != 0) {
    if (s.At(p) == '"') {
      tokens.push_back(ExtractQuoted(s, p));
    } else {
      const size_t begin = p;
      while (s.At(p) > ' ' && s.At(p) != static_cast<unsigned char>(delimiter)) p = s.Next(p);
      tokens.emplace_back(s.Slice(begin, p));
    }
    while (TScanner::IsSpace(s.At(p))) p = s.Next(p);
    if (s.At(p) == static_cast<unsigned char>(delimiter)) {
      // A delimiter that ends the text still closes an (empty) last token.
      if (s.At(s.Next(p)) == 0) tokens.emplace_back();
      do {
        p = s.Next(p);
      } while (TScanner::IsSpace(s.At(p)));
    }
  }
  return tokens;
}

}  // namespace lg
