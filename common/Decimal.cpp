#include "common/Decimal.h"

namespace lg {

bool ParseDecimal(std::string_view text, TDecimalSign sign, int64_t maxMagnitude, int64_t& out, size_t maxDigits) {
  bool negative = false;
  if (sign == TDecimalSign::Allowed && !text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > maxDigits || maxMagnitude < 0) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const int digit = c - '0';
    if (digit > maxMagnitude || v > (maxMagnitude - digit) / 10) return false;
    v = v * 10 + digit;
  }
  out = negative ? -v : v;
  return true;
}

}  // namespace lg
