#include "update/LocalStateFile.h"

#include "common/Decimal.h"

namespace lg {
namespace {

constexpr size_t kMaxStampChars = 20;

// A decimal 32-bit integer with an optional sign and nothing else; 0 when
// the text is not one or does not fit.
int32_t StampValue(std::string_view s) {
  int64_t v = 0;
  if (!ParseDecimal(s, TDecimalSign::Allowed, 2147483648LL, v) || v > INT32_MAX) return 0;
  return static_cast<int32_t>(v);
}

}  // namespace

bool ParseLocalStateLine(std::string_view line, TLocalStateView& out) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view value = line.substr(eq + 1);
  size_t dash = value.find('-');
  if (dash == std::string_view::npos || dash < 1) return false;
  out.Name = line.substr(0, eq);
  out.Hash = value.substr(0, dash);
  out.Stamp = StampValue(value.substr(dash + 1, kMaxStampChars));
  return true;
}

bool ParseLocalStateLine(std::string_view line, TLocalStateLine& out) {
  TLocalStateView view;
  if (!ParseLocalStateLine(line, view)) return false;
  out.Name.assign(view.Name);
  out.Hash.assign(view.Hash);
  out.Stamp = view.Stamp;
  return true;
}

std::vector<TLocalStateLine> ParseLocalState(std::string_view text) {
  std::vector<TLocalStateLine> lines;
  ForEachLocalStateLine(text, [&](const TLocalStateView& view) {
    lines.push_back({std::string(view.Name), std::string(view.Hash), view.Stamp});
  });
  return lines;
}

std::string FormatLocalStateLine(std::string_view name, std::string_view hash, int32_t stamp) {
  std::string line;
  line.reserve(name.size() + hash.size() + 16);
  AppendLocalStateLine(line, name, hash, stamp);
  return line;
}

void AppendLocalStateLine(std::string& text, std::string_view name, std::string_view hash, int32_t stamp) {
  // The stamp's digits fit the string's own buffer: no allocation.
  text.append(name).append("=").append(hash).append("-").append(std::to_string(stamp)).append("\r\n");
}

}  // namespace lg
