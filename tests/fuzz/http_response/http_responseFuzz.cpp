// Fuzzes the response header parsing: the input is a received header block
// (lines ended by CR LF, LF or CR) fed line by line into a response object
// that asked for a range, then its text and numbers are used; after the
// empty line the rest of the input is inflated under a small size bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Library/hDownload/HttpBody.h"
#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/THttpHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  lg::THttpHeader response;
  response.RangeStart = 100;
  response.ResetStatus();
  size_t pos = 0;
  int lines = 0;
  bool ended = false;
  while (pos < input.size() && lines++ < 200) {
    size_t end = input.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = input.size();
    const std::string line = input.substr(pos, end - pos);
    pos = end;
    if (pos < input.size() && input[pos] == '\r') ++pos;
    if (pos < input.size() && input[pos] == '\n') ++pos;
    const auto r = response.ParseResponseLine(line);
    if (r == lg::THttpHeader::TLineResult::Error && response.ProtocolError().empty()) std::abort();
    if (r != lg::THttpHeader::TLineResult::Continue) {
      ended = r == lg::THttpHeader::TLineResult::EndOfHeaders;
      break;
    }
  }
  const std::string text = response.BuildRequestText();
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) std::abort();
  if (response.StatusCode != 0 && (response.StatusCode < 100 || response.StatusCode > 999)) std::abort();
  (void)response.IsChunked();
  const int bits = response.ContentWindowBits();
  if (bits != 0 && bits != 47 && bits != -15) std::abort();
  if (ended && pos < input.size()) {
    std::string body = input.substr(pos);
    std::string error;
    const std::string before = body;
    const bool ok = lg::InflateDocument(body, bits != 0 ? bits : 47, 1 << 20, error);
    if (ok ? body.size() > (1u << 20) : (body != before || error.empty())) std::abort();
  }
  return 0;
}
