// THttpHeader: one HTTP request or response. For a request it holds the
// target URL split into host, port and path, the method, an ordered list of
// header lines and the body; for a response the status and the received
// header lines. The numbers the client needs from particular headers
// (lengths, ranges) are kept up to date as those headers are set.
//
// Header names match without regard to ASCII case and occur once: setting
// an existing name replaces its value in place (the entry takes the name as
// passed), so the list keeps the order in which names were first set.
//
// Threads: one thread at a time (the document fetch's caller or one
// download worker). Owns its entries and body.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lg {

class THttpHeader {
 public:
  using TEntry = std::pair<std::string, std::string>;

  enum class TLineResult { Continue, EndOfHeaders, Error };

  THttpHeader();

  // Drops every entry and the body; status, port and all numbers to 0.
  void Clear();
  // Only "GET", "POST" and "HEAD" are accepted; anything else changes
  // nothing. A URL that is not "http://" (any letter case) leaves the object
  // without host and port, so the exchange fails at once.
  void SetRequest(const std::string& method, const std::string& url);

  std::string GetHeader(const std::string& name) const;
  // False when the header was rejected: a "Content-Range" whose start is not
  // the requested one. ProtocolError() then holds the diagnostic.
  bool SetHeader(const std::string& name, const std::string& value);
  // The entry added most recently (a replaced value keeps its place), or
  // null when the list is empty.
  const TEntry* LastHeader() const;
  // "Range: Bytes=start-end", the end left out when it is negative.
  void SetRange(int64_t start, int64_t end);

  // Request line (for a request) and header lines, CR LF after each, then
  // the empty line.
  std::string BuildRequestText() const;
  // One line of a received header block, status line first.
  TLineResult ParseResponseLine(const std::string& line);
  void ResetStatus();

  bool IsChunked() const;
  // A response after which the connection may carry another request: an
  // HTTP/1.1 answer without "Connection: close", or an HTTP/1.0 answer
  // with "Connection: keep-alive".
  bool KeepsConnection() const;
  // 47 for "gzip" (zlib or gzip header detected), -15 for "deflate" (raw),
  // else 0: no decoding.
  int ContentWindowBits() const;

  const std::vector<TEntry>& Headers() const { return headers_; }
  const std::string& ProtocolError() const { return protocolError_; }

  std::string Protocol = "HTTP/1.1";
  std::string Host;
  int32_t Port = 0;
  std::string URL;
  std::string Method;
  std::string Path;
  std::string Body;
  int64_t Received = 0;
  // -1 when a "Content-Length" was received that is not a length.
  int64_t ContentLength = 0;
  int64_t TotalSize = 0;
  int64_t RangeStart = 0;
  int64_t RangeEnd = 0;
  int32_t StatusCode = 0;
  std::string StatusText;

 private:
  void ParseUrl(const std::string& url);
  bool ApplySideEffects(const std::string& name, const std::string& value);

  std::vector<TEntry> headers_;
  std::string protocolError_;
};

}  // namespace lg
