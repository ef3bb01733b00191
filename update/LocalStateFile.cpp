#include "update/LocalStateFile.h"

namespace lg {
namespace {

constexpr size_t kMaxStampChars = 20;

// A decimal 32-bit integer with an optional sign and nothing else; 0 when
// the text is not one or does not fit.
int32_t StampValue(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return 0;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) return 0;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return 0;
  return static_cast<int32_t>(v);
}

}  // namespace

bool ParseLocalStateLine(std::string_view line, TLocalStateLine& out) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view value = line.substr(eq + 1);
  size_t dash = value.find('-');
  if (dash == std::string_view::npos || dash < 1) return false;
  out.Name.assign(line.substr(0, eq));
  out.Hash.assign(value.substr(0, dash));
  out.Stamp = StampValue(value.substr(dash + 1, kMaxStampChars));
  return true;
}

std::vector<TLocalStateLine> ParseLocalState(std::string_view text) {
  std::vector<TLocalStateLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    TLocalStateLine line;
    if (ParseLocalStateLine(text.substr(start, end - start), line)) lines.push_back(std::move(line));
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string FormatLocalStateLine(std::string_view name, std::string_view hash, int32_t stamp) {
  std::string line;
  line.reserve(name.size() + hash.size() + 16);
  line.append(name).append("=").append(hash).append("-").append(std::to_string(stamp)).append("\r\n");
  return line;
}

}  // namespace lg
