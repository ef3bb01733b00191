#include "update/TzqJSONstreamed.h"

#include <charconv>
#include <system_error>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "update/JsonText.h"

namespace lg {
namespace {

// Raised for a malformed "\u" escape; ends the whole parse.
struct TBadEscape {};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, unsigned cp) {
  // Surrogate halves are written like any other code point below 0x10000,
  // one three-byte sequence each.
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

class TParser {
 public:
  explicit TParser(std::string_view text) : s_(text) {}

  std::unique_ptr<TzqJSONbase> Document() {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    return Value();
  }

 private:
  void SkipWhitespace() {
    while (pos_ < s_.size() && static_cast<unsigned char>(s_[pos_]) < 33) ++pos_;
  }

  bool Match(std::string_view word) {
    if (s_.compare(pos_, word.size(), word) != 0) return false;
    pos_ += word.size();
    return true;
  }

  // The forms start with different characters, so the first character
  // picks the one form that can match. A failed form leaves pos_ alone.
  std::unique_ptr<TzqJSONbase> Value() {
    SkipWhitespace();
    if (pos_ >= s_.size()) return nullptr;
    switch (s_[pos_]) {
      case 't': return Match("true") ? std::make_unique<TzqJSONboolean>(true) : nullptr;
      case 'f': return Match("false") ? std::make_unique<TzqJSONboolean>(false) : nullptr;
      case 'n': return Match("null") ? std::make_unique<TzqJSONnull>() : nullptr;
      case '"': {
        std::u16string text;
        if (!String(text)) return nullptr;
        return std::make_unique<TzqJSONstring>(std::move(text));
      }
      case '[': return List();
      case '{': return Object();
      default: return Number();
    }
  }

  size_t Digits(size_t p) const {
    size_t start = p;
    while (p < s_.size() && IsDigit(s_[p])) ++p;
    return p - start;
  }

  std::unique_ptr<TzqJSONbase> Number() {
    size_t p = pos_;
    if (p < s_.size() && (s_[p] == '+' || s_[p] == '-')) ++p;
    size_t n = Digits(p);
    if (n == 0) return nullptr;
    p += n;
    if (p < s_.size() && s_[p] == '.') {
      n = Digits(p + 1);
      if (n == 0) return nullptr;
      p += 1 + n;
    }
    bool negativeExponent = false;
    if (p < s_.size() && (s_[p] == 'e' || s_[p] == 'E')) {
      size_t q = p + 1;
      if (q < s_.size() && (s_[q] == '+' || s_[q] == '-')) negativeExponent = s_[q++] == '-';
      n = Digits(q);
      if (n == 0) return nullptr;
      p = q + n;
    }
    // from_chars ignores the locale (the decimal separator is always ".")
    // but does not take a leading "+".
    const char* first = s_.data() + pos_;
    const char* last = s_.data() + p;
    if (*first == '+') ++first;
    TzqJSONfloat value = 0;
    auto r = std::from_chars(first, last, value);
    if (r.ec == std::errc::result_out_of_range) {
      // Too small to represent is zero; too large is not a number we can
      // hold, and the document is refused.
      if (!negativeExponent) return nullptr;
      value = 0;
    } else if (r.ec != std::errc() || r.ptr != last) {
      return nullptr;
    }
    pos_ = p;
    return std::make_unique<TzqJSONnumber>(value);
  }

  bool String(std::u16string& out) {
    size_t p = pos_ + 1;
    size_t end = std::string_view::npos;
    while (p < s_.size()) {
      if (s_[p] == '\\') {
        p += 2;
      } else if (s_[p] == '"') {
        end = p;
        break;
      } else {
        ++p;
      }
    }
    if (end == std::string_view::npos) return false;
    std::string_view raw = s_.substr(pos_ + 1, end - pos_ - 1);
    if (raw.find('\\') == std::string_view::npos) {
      out = json::Utf16FromUtf8(raw);
    } else {
      Unescape(raw, scratch_);
      out = json::Utf16FromUtf8(scratch_);
    }
    pos_ = end + 1;
    return true;
  }

  // Into `out`, which keeps its capacity from one string to the next.
  static void Unescape(std::string_view raw, std::string& out) {
    out.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
      char c = raw[i];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      // The scan for the closing quote stepped over pairs, so a backslash
      // is never the last byte of `raw`.
      char e = raw[++i];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case '\\':
        case '/':
        case '"':
        case '\'': out.push_back(e); break;
        case 'u': {
          if (raw.size() - (i + 1) < 4) throw TBadEscape();
          unsigned cp = 0;
          for (int k = 1; k <= 4; ++k) {
            int h = HexValue(raw[i + k]);
            if (h < 0) throw TBadEscape();
            cp = cp * 16 + static_cast<unsigned>(h);
          }
          AppendUtf8(out, cp);
          i += 4;
          break;
        }
        default: break;  // unknown escapes are dropped with their character
      }
    }
  }

  std::unique_ptr<TzqJSONbase> List() {
    if (depth_ >= TzqJSONstreamed::kMaxDepth) return nullptr;
    size_t start = pos_;
    ++depth_;
    ++pos_;
    auto list = std::make_unique<TzqJSONlist>();
    for (;;) {
      std::unique_ptr<TzqJSONbase> element = Value();
      if (!element) break;
      list->Add(std::move(element));
      SkipWhitespace();
      if (pos_ < s_.size() && s_[pos_] == ',') ++pos_;
    }
    --depth_;
    SkipWhitespace();
    if (pos_ < s_.size() && s_[pos_] == ']') {
      ++pos_;
      return list;
    }
    pos_ = start;
    return nullptr;
  }

  std::unique_ptr<TzqJSONbase> Object() {
    if (depth_ >= TzqJSONstreamed::kMaxDepth) return nullptr;
    size_t start = pos_;
    ++depth_;
    ++pos_;
    auto object = std::make_unique<TzqJSONobject>();
    for (;;) {
      size_t memberStart = pos_;
      SkipWhitespace();
      std::u16string name;
      if (pos_ >= s_.size() || s_[pos_] != '"' || !String(name)) {
        pos_ = memberStart;
        break;
      }
      SkipWhitespace();
      if (pos_ >= s_.size() || s_[pos_] != ':') {
        pos_ = memberStart;
        break;
      }
      ++pos_;
      std::unique_ptr<TzqJSONbase> value = Value();
      if (!value) {
        pos_ = memberStart;
        break;
      }
      object->Add(std::move(name), std::move(value));
      SkipWhitespace();
      if (pos_ < s_.size() && s_[pos_] == ',') ++pos_;
    }
    --depth_;
    SkipWhitespace();
    if (pos_ < s_.size() && s_[pos_] == '}') {
      ++pos_;
      return object;
    }
    pos_ = start;
    return nullptr;
  }

  std::string_view s_;
  std::string scratch_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<TzqJSONbase> TzqJSONstreamed::ParseText(std::string_view text) {
  try {
    return TParser(text).Document();
  } catch (const TBadEscape&) {
    return nullptr;
  } catch (const std::exception&) {
    return nullptr;  // out of memory on absurd input
  }
}

std::unique_ptr<TzqJSONbase> TzqJSONstreamed::LoadFromStream(plat::TFileStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  if (size <= 0) return nullptr;
  std::string text(static_cast<size_t>(size), '\0');
  int64_t got = stream.Read(text.data(), text.size());
  if (got < 0) return nullptr;
  text.resize(static_cast<size_t>(got));
  return ParseText(text);
}

std::unique_ptr<TzqJSONbase> TzqJSONstreamed::LoadFromFile(const std::string& path) {
  if (!plat::FileExists(path)) return nullptr;
  plat::TFileStream stream;
  if (!stream.Open(path, plat::TFileStream::Mode::Read)) throw EFOpenError(path);
  return LoadFromStream(stream);
}

}  // namespace lg
