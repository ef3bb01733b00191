#include "update/json/TzqJSONstreamed.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <system_error>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "update/json/JsonText.h"
#include "update/json/TzqJSONarena.h"

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

// The root of a parsed document: a node of its kind that also owns the
// arena holding the rest of the tree, so deleting the root frees it all.
template <typename T>
class TzqJSONroot final : public T {
 public:
  template <typename... A>
  explicit TzqJSONroot(TzqJSONarena&& arena, A... args) : T(args...), arena_(std::move(arena)) {}

 private:
  TzqJSONarena arena_;
};

class TParser {
 public:
  explicit TParser(std::string_view text) : s_(text) {}

  std::unique_ptr<TzqJSONbase> Document() {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    // The root is built outside the arena, as the node that owns it.
    SkipWhitespace();
    if (pos_ < s_.size() && s_[pos_] == '[') {
      TzqJSONbase* const* elements = nullptr;
      int count = 0;
      if (!ListItems(elements, count)) return nullptr;
      return Root<TzqJSONlist>(elements, count);
    }
    if (pos_ < s_.size() && s_[pos_] == '{') {
      TzqJSONobjectmethod* members = nullptr;
      int count = 0;
      TzqBalTree index;
      if (!ObjectItems(members, count, index)) return nullptr;
      return Root<TzqJSONobject>(members, count, index);
    }
    TzqJSONbase* value = Value();
    if (!value) return nullptr;
    switch (value->Kind()) {
      case jsNumber: return Root<TzqJSONnumber>(static_cast<TzqJSONnumber*>(value)->Value);
      case jsString: return Root<TzqJSONstring>(static_cast<TzqJSONstring*>(value)->Value);
      case jsBoolean: return Root<TzqJSONboolean>(static_cast<TzqJSONboolean*>(value)->Value);
      default: return Root<TzqJSONnull>();
    }
  }

 private:
  // Member names of the last objects by position: a manifest repeats the
  // same few names in every entry, and each is converted and stored once.
  static constexpr size_t kCachedNames = 16;
  struct TCachedName {
    std::string_view Raw;
    std::u16string_view Text;
  };
  struct TPendingMember {
    std::u16string_view Name;
    TzqJSONbase* Value;
  };

  template <typename T, typename... A>
  std::unique_ptr<TzqJSONbase> Root(A... args) {
    return std::make_unique<TzqJSONroot<T>>(std::move(arena_), args...);
  }

  template <typename T, typename... A>
  T* Make(A... args) {
    return new (arena_.Allocate(sizeof(T))) T(args...);
  }

  // true, false and null carry nothing of their own: one node each serves
  // the whole document.
  TzqJSONbase* Boolean(bool value) {
    TzqJSONbase*& node = value ? true_ : false_;
    if (!node) node = Make<TzqJSONboolean>(value);
    return node;
  }

  TzqJSONbase* Null() {
    if (!null_) null_ = Make<TzqJSONnull>();
    return null_;
  }

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
  TzqJSONbase* Value() {
    SkipWhitespace();
    if (pos_ >= s_.size()) return nullptr;
    switch (s_[pos_]) {
      case 't': return Match("true") ? Boolean(true) : nullptr;
      case 'f': return Match("false") ? Boolean(false) : nullptr;
      case 'n': return Match("null") ? Null() : nullptr;
      case '"': {
        std::string_view raw;
        if (!Quoted(raw)) return nullptr;
        return Make<TzqJSONstring>(Text(raw));
      }
      case '[': {
        TzqJSONbase* const* elements = nullptr;
        int count = 0;
        if (!ListItems(elements, count)) return nullptr;
        return Make<TzqJSONlist>(elements, count);
      }
      case '{': {
        TzqJSONobjectmethod* members = nullptr;
        int count = 0;
        TzqBalTree index;
        if (!ObjectItems(members, count, index)) return nullptr;
        return Make<TzqJSONobject>(members, count, index);
      }
      default: return Number();
    }
  }

  size_t Digits(size_t p) const {
    size_t start = p;
    while (p < s_.size() && IsDigit(s_[p])) ++p;
    return p - start;
  }

  TzqJSONbase* Number() {
    size_t p = pos_;
    if (p < s_.size() && (s_[p] == '+' || s_[p] == '-')) ++p;
    size_t n = Digits(p);
    if (n == 0) return nullptr;
    p += n;
    const bool fraction = p < s_.size() && s_[p] == '.';
    if (fraction) {
      n = Digits(p + 1);
      if (n == 0) return nullptr;
      p += 1 + n;
    }
    bool negativeExponent = false;
    const bool exponent = p < s_.size() && (s_[p] == 'e' || s_[p] == 'E');
    if (exponent) {
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
    // Plain integers of up to 15 digits (sizes, flags, ports: nearly every
    // number a manifest has) are exact in a double; add them up directly.
    if (!fraction && !exponent && last - first <= 15 + (*first == '-')) {
      const char* d = first + (*first == '-');
      int64_t whole = 0;
      for (; d < last; ++d) whole = whole * 10 + (*d - '0');
      pos_ = p;
      return Make<TzqJSONnumber>(static_cast<TzqJSONfloat>(*first == '-' ? -whole : whole));
    }
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
    return Make<TzqJSONnumber>(value);
  }

  // The text between the quotes at pos_, escapes still in it; pos_ moves
  // past the closing quote.
  bool Quoted(std::string_view& raw) {
    const char* p = s_.data() + pos_ + 1;
    const char* end = s_.data() + s_.size();
    while (p < end) {
      char c = *p;
      if (c == '"') {
        size_t first = pos_ + 1;
        size_t last = static_cast<size_t>(p - s_.data());
        raw = s_.substr(first, last - first);
        pos_ = last + 1;
        return true;
      }
      p += c == '\\' ? 2 : 1;
    }
    return false;
  }

  // The string's UTF-16 text, unescaped, in the arena.
  std::u16string_view Text(std::string_view raw) {
    if (raw.find('\\') != std::string_view::npos) {
      Unescape(raw, scratch_);
      raw = scratch_;
    }
    if (raw.empty()) return {};
    auto* out = arena_.AllocateArray<char16_t>(raw.size());
    size_t n = json::Utf16FromUtf8(raw, out);
    arena_.Shrink(out, n * sizeof(char16_t));
    return {out, n};
  }

  // A member name; the one at the same position in the previous object is
  // reused when its bytes are the same.
  std::u16string_view Name(std::string_view raw, size_t position) {
    if (position >= kCachedNames) return Text(raw);
    TCachedName& cached = names_[position];
    if (!cached.Raw.empty() && cached.Raw == raw) return cached.Text;
    std::u16string_view text = Text(raw);
    cached.Raw = raw;
    cached.Text = text;
    return text;
  }

  // Into `out`, which keeps its capacity from one string to the next.
  static void Unescape(std::string_view raw, std::string& out) {
    out.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '\\') {
        // The run up to the next escape goes in one piece.
        size_t next = raw.find('\\', i);
        if (next == std::string_view::npos) next = raw.size();
        out.append(raw.data() + i, next - i);
        i = next - 1;
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
        default:
          // Unknown escapes are dropped with their character: all of it,
          // so a multi-byte UTF-8 character leaves no stray continuation
          // bytes behind to turn into replacement characters.
          while (i + 1 < raw.size() && (static_cast<unsigned char>(e) & 0xC0) == 0xC0 &&
                 (static_cast<unsigned char>(raw[i + 1]) & 0xC0) == 0x80)
            ++i;
          break;
      }
    }
  }

  // A list's elements into an array in the arena.
  bool ListItems(TzqJSONbase* const*& elements, int& count) {
    if (depth_ >= TzqJSONstreamed::kMaxDepth) return false;
    size_t start = pos_;
    size_t base = pendingElements_.size();
    ++depth_;
    ++pos_;
    for (;;) {
      TzqJSONbase* element = Value();
      if (!element) break;
      pendingElements_.push_back(element);
      SkipWhitespace();
      if (pos_ < s_.size() && s_[pos_] == ',') ++pos_;
    }
    --depth_;
    SkipWhitespace();
    if (pos_ >= s_.size() || s_[pos_] != ']') {
      pos_ = start;
      pendingElements_.resize(base);
      return false;
    }
    ++pos_;
    size_t n = pendingElements_.size() - base;
    auto* array = arena_.AllocateArray<TzqJSONbase*>(n);
    std::copy(pendingElements_.begin() + static_cast<std::ptrdiff_t>(base), pendingElements_.end(), array);
    pendingElements_.resize(base);
    elements = array;
    count = static_cast<int>(n);
    return true;
  }

  // An object's members and name index into the arena.
  bool ObjectItems(TzqJSONobjectmethod*& members, int& count, TzqBalTree& index) {
    if (depth_ >= TzqJSONstreamed::kMaxDepth) return false;
    size_t start = pos_;
    size_t base = pendingMembers_.size();
    ++depth_;
    ++pos_;
    for (;;) {
      size_t memberStart = pos_;
      SkipWhitespace();
      std::string_view raw;
      if (pos_ >= s_.size() || s_[pos_] != '"' || !Quoted(raw)) {
        pos_ = memberStart;
        break;
      }
      std::u16string_view name = Name(raw, pendingMembers_.size() - base);
      SkipWhitespace();
      if (pos_ >= s_.size() || s_[pos_] != ':') {
        pos_ = memberStart;
        break;
      }
      ++pos_;
      TzqJSONbase* value = Value();
      if (!value) {
        pos_ = memberStart;
        break;
      }
      pendingMembers_.push_back({name, value});
      SkipWhitespace();
      if (pos_ < s_.size() && s_[pos_] == ',') ++pos_;
    }
    --depth_;
    SkipWhitespace();
    if (pos_ >= s_.size() || s_[pos_] != '}') {
      pos_ = start;
      pendingMembers_.resize(base);
      return false;
    }
    ++pos_;
    size_t n = pendingMembers_.size() - base;
    auto* array = arena_.AllocateArray<TzqJSONobjectmethod>(n);
    for (size_t i = 0; i < n; ++i) {
      const TPendingMember& m = pendingMembers_[base + i];
      new (&array[i]) TzqJSONobjectmethod(m.Name, m.Value);
    }
    pendingMembers_.resize(base);
    index = IndexFor(array, n);
    members = array;
    count = static_cast<int>(n);
    return true;
  }

  // The name index of a closed object. The index holds only names and
  // positions, so an object with the very same names in the same order as
  // the one closed before it (every entry of a manifest, whose names come
  // from the cache) shares that object's index instead of building its own.
  TzqBalTree IndexFor(const TzqJSONobjectmethod* members, size_t n) {
    bool same = lastMembers_ && lastCount_ == n;
    for (size_t i = 0; same && i < n; ++i)
      same = members[i].Name.data() == lastMembers_[i].Name.data() &&
             members[i].Name.size() == lastMembers_[i].Name.size();
    if (!same) {
      lastIndex_ = TzqBalTree(arena_.AllocateArray<TzqBalNode>(n), static_cast<uint32_t>(n));
      for (size_t i = 0; i < n; ++i) lastIndex_.Insert(members[i].Name, static_cast<int32_t>(i));
    }
    lastMembers_ = members;
    lastCount_ = n;
    return lastIndex_;
  }

  std::string_view s_;
  std::string scratch_;
  size_t pos_ = 0;
  int depth_ = 0;
  TzqJSONarena arena_;
  TzqJSONbase* true_ = nullptr;
  TzqJSONbase* false_ = nullptr;
  TzqJSONbase* null_ = nullptr;
  TCachedName names_[kCachedNames];
  const TzqJSONobjectmethod* lastMembers_ = nullptr;
  size_t lastCount_ = 0;
  TzqBalTree lastIndex_;
  // Children of the lists and objects still open, innermost last.
  std::vector<TzqJSONbase*> pendingElements_;
  std::vector<TPendingMember> pendingMembers_;
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
