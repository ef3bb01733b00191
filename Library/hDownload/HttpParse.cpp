#include "Library/hDownload/HttpParse.h"

#include "Library/hDownload/WebText.h"
#include "common/Decimal.h"

namespace lg {
namespace {

constexpr int64_t kMaxChunkSize = int64_t(1) << 53;

// The text up to the first blank (all of it when there is none) and the
// text after the run of blanks that follows.
std::string_view NextWord(std::string_view& text) {
  const size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  if (blank == std::string_view::npos) {
    text = std::string_view();
  } else {
    const size_t next = text.find_first_not_of(' ', blank);
    text = next == std::string_view::npos ? std::string_view() : text.substr(next);
  }
  return word;
}

}  // namespace

int64_t ParseInt64(std::string_view s, int64_t fallback) {
  int64_t v = fallback;
  ParseDecimal(s, TDecimalSign::Allowed, INT64_MAX, v, 18);
  return v;
}

int64_t ParseDecimalLength(std::string_view text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return -1;
  return ParseInt64(text, -1);
}

THttpStatusLine ParseStatusLine(std::string_view line) {
  THttpStatusLine out;
  std::string_view rest = line;
  out.protocol = std::string(NextWord(rest));
  const std::string_view code = NextWord(rest);
  const int64_t n = ParseDecimalLength(code);
  out.code = (code.size() == 3 && n >= 100 && n <= 999) ? static_cast<int>(n) : 0;
  out.reason = std::string(rest);
  const std::string_view p = out.protocol;
  const bool http1 = p.size() == 8 && p.substr(0, 7) == "HTTP/1." && p[7] >= '0' && p[7] <= '9';
  out.valid = out.code != 0 && (http1 || p == "HTTP/0.9");
  return out;
}

THeaderLine ParseHeaderLine(std::string_view line) {
  THeaderLine out;
  std::string text(line);
  const std::string head = SplitFirst(text, ": ");
  if (head.empty()) {
    out.kind = THeaderLineKind::Continuation;
  } else {
    out.name = head;
  }
  out.value = text;
  return out;
}

int64_t ParseChunkSizeLine(std::string_view line) {
  size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != ';') ++end;
  if (end == 0) return -1;
  int64_t v = 0;
  for (size_t i = 0; i < end; ++i) {
    const char c = line[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return -1;
    }
    v = v * 16 + digit;
    if (v > kMaxChunkSize) return -1;
  }
  return v;
}

}  // namespace lg
