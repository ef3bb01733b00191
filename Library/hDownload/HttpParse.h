// Pure parsers of HTTP/1.1 response text: the status line, one header line
// and the chunk-size line of a chunked body. They take bytes and return
// values, never touch a socket, and are the fuzzed surface of the client.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lg {

struct THttpStatusLine {
  std::string protocol;  // first word
  int code = 0;          // 100..999, 0 when the second word is not one
  std::string reason;    // the rest of the line
  // The first word is "HTTP/1.<digit>" (or "HTTP/0.9") and the code three
  // digits. Anything else is no answer to an HTTP/1.1 request.
  bool valid = false;
};
// "HTTP/1.1 200 OK" -> {"HTTP/1.1", 200, "OK", valid}. A missing reason
// phrase ("HTTP/1.1 200") still yields the code. Words are separated by
// runs of blanks; a tab separates nothing.
THttpStatusLine ParseStatusLine(std::string_view line);

enum class THeaderLineKind { Field, Continuation };
struct THeaderLine {
  THeaderLineKind kind = THeaderLineKind::Field;
  std::string name;   // empty for a continuation
  std::string value;  // for a continuation: the text to append
};
// Splits at the first run of ':' and blank characters; a line that starts
// with such a run (a folded line) is a continuation of the previous field.
THeaderLine ParseHeaderLine(std::string_view line);

// The hexadecimal size at the start of a chunk-size line, before any blank,
// tab or ';' (extensions are ignored); -1 when it is missing, signed, not
// hexadecimal or above 2^53.
int64_t ParseChunkSizeLine(std::string_view line);

// A whole decimal number of at most 18 digits with no sign: the value, else
// -1 (negative, empty, non-numeric or too large texts all give -1).
int64_t ParseDecimalLength(std::string_view text);
// A decimal int64 with an optional sign, else `fallback`.
int64_t ParseInt64(std::string_view text, int64_t fallback);

}  // namespace lg
