// Fuzzes the HTTP date parser: the first two bytes pick the local zone, the
// rest is the date text. The result must be a finite day number within the
// years the parser clamps to, and its file time conversion must not fail
// for it in a way that crashes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Library/hDownload/HttpDate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int offset = (static_cast<int>(data[0]) << 8 | data[1]) % (26 * 60) - 12 * 60;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const double d = lg::DecodeHttpDate(text, offset);
  if (!std::isfinite(d)) std::abort();
  if (!text.empty() && (d < -700000 || d > 3000000)) std::abort();
  (void)lg::DateTimeToFileTime(d);
  return 0;
}
