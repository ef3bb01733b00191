// Fuzzes the chunk-size line parser and the decimal length parser: every
// line of the input is read as a chunk-size line and as a length, and the
// results are checked against what the line allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Library/hDownload/HttpParse.h"

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  while (pos <= input.size()) {
    size_t end = input.find('\n', pos);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const int64_t chunk = lg::ParseChunkSizeLine(line);
    if (chunk < -1 || chunk > (int64_t(1) << 53)) std::abort();
    if (chunk >= 0 && (line.empty() || !IsHex(line[0]))) std::abort();
    const int64_t length = lg::ParseDecimalLength(line);
    if (length < -1) std::abort();
    if (length >= 0 && (line.empty() || line[0] < '0' || line[0] > '9')) std::abort();
    (void)lg::ParseInt64(line, 0);
    pos = end + 1;
  }
  return 0;
}
