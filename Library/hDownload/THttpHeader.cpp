#include "Library/hDownload/THttpHeader.h"

#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/WebText.h"
#include "common/AsciiCase.h"
#include "common/OperatorServices.h"

namespace lg {
namespace {

bool IsRequestMethod(const std::string& m) {
  return m == "GET" || m == "POST" || m == "HEAD";
}

}  // namespace

THttpHeader::THttpHeader() = default;

void THttpHeader::Clear() {
  headers_.clear();
  Body.clear();
  protocolError_.clear();
  StatusCode = 0;
  Port = 0;
  Received = 0;
  ContentLength = 0;
  TotalSize = 0;
  RangeStart = 0;
  RangeEnd = 0;
}

void THttpHeader::SetRequest(const std::string& method, const std::string& url) {
  if (!IsRequestMethod(method)) return;
  Clear();
  Method = method;
  Host.clear();
  Path.clear();
  ParseUrl(url);
  URL = url;
}

void THttpHeader::ParseUrl(const std::string& url) {
  std::string scheme = url.substr(0, 7);
  for (size_t i = 0; i < scheme.size() && i < 4; ++i) scheme[i] = static_cast<char>(scheme[i] & ~0x20);
  if (scheme != "HTTP://") return;

  std::string rest = TrimText(std::string_view(url).substr(7));
  const size_t slash = rest.find_first_of("/\\");
  if (slash == std::string::npos) {
    Host = rest;
    rest.clear();
  } else {
    Host = rest.substr(0, slash);
    const size_t after = rest.find_first_not_of("/\\", slash);
    rest = after == std::string::npos ? std::string() : rest.substr(after);
  }
  Path = "/" + rest;

  const size_t at = Host.find('@');
  if (at != std::string::npos) {
    if (at > 0) SetHeader("Authorization", "Basic " + Base64Encode(Host.substr(0, at)));
    Host = Host.substr(at + 1);
  }
  Port = 80;
  const size_t colon = Host.rfind(':');
  if (colon != std::string::npos) {
    const std::string_view text = std::string_view(Host).substr(colon + 1);
    const int64_t port = ParseInt64(text, -1);
    const bool isNumber = port != -1 || text == "-1";
    // A number that is no port makes the exchange fail rather than reach
    // another port; text that is no number keeps 80.
    if (isNumber) Port = port > 0 && port <= 65535 ? static_cast<int32_t>(port) : 0;
    Host.resize(colon);
  }
  SetHeader("Host", Port == 80 ? Host : Host + ":" + std::to_string(Port));
  SetHeader("User-Agent", "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0; Trident/4.0)");
  SetHeader("Accept-Language", "zh-cn");
  SetHeader("Accept-Encoding", "gzip, deflate");
  SetHeader("Accept", "*/*");
  SetHeader("Connection", "close");
}

std::string THttpHeader::GetHeader(const std::string& name) const {
  for (const TEntry& e : headers_)
    if (SameText(e.first, name)) return e.second;
  return std::string();
}

bool THttpHeader::SetHeader(const std::string& name, const std::string& value) {
  if (!ApplySideEffects(name, value)) return false;
  for (TEntry& e : headers_) {
    if (SameText(e.first, name)) {
      e = TEntry(name, value);
      return true;
    }
  }
  headers_.emplace_back(name, value);
  return true;
}

bool THttpHeader::ApplySideEffects(const std::string& name, const std::string& value) {
  if (SameText(name, "Content-Location")) {
    URL = value;
  } else if (SameText(name, "Content-Length")) {
    ContentLength = ParseDecimalLength(TrimText(value));
  } else if (SameText(name, "Range")) {
    // "Bytes=100-199": the unit and '=' are skipped unread.
    const std::string rangeText = value.size() > 6 ? value.substr(6) : std::string();
    const size_t dash = rangeText.find('-');
    RangeStart = ParseInt64(rangeText.substr(0, dash), 0);
    RangeEnd = dash == std::string::npos ? 0 : ParseInt64(rangeText.substr(dash + 1), 0);
  } else if (SameText(name, "Content-Range")) {
    // "bytes 0-99/1000" or "bytes */1000".
    const std::string rangeText = value.size() > 6 ? value.substr(6) : std::string();
    const size_t slash = rangeText.find_last_of("/\\");
    const std::string range = rangeText.substr(0, slash);
    TotalSize = slash == std::string::npos ? 0 : ParseInt64(TrimText(rangeText.substr(slash + 1)), 0);
    if (TrimText(range) != "*") {
      const int64_t start = ParseInt64(TrimText(range.substr(0, range.find('-'))), -1);
      if (start != RangeStart) {
        protocolError_ = "Content-Range Assert" + std::to_string(start) + "<>" + std::to_string(RangeStart) +
                         " (cHttpSend, line 623)";
        return false;
      }
    }
  }
  return true;
}

const THttpHeader::TEntry* THttpHeader::LastHeader() const {
  return headers_.empty() ? nullptr : &headers_.back();
}

void THttpHeader::SetRange(int64_t start, int64_t end) {
  std::string value = std::string(ops::kRangeUnit) + std::to_string(start) + "-";
  if (end >= 0) value += std::to_string(end);
  SetHeader("Range", value);
}

std::string THttpHeader::BuildRequestText() const {
  std::string text;
  if (IsRequestMethod(Method)) text = Method + " " + UrlEncode(Path, false) + " " + Protocol + "\r\n";
  for (const TEntry& e : headers_) text += e.first + ": " + e.second + "\r\n";
  text += "\r\n";
  return text;
}

void THttpHeader::ResetStatus() {
  StatusCode = 0;
  StatusText.clear();
}

THttpHeader::TLineResult THttpHeader::ParseResponseLine(const std::string& line) {
  if (StatusCode == 0) {
    // Empty lines before the status line are skipped (the caller bounds the
    // number of lines); they can carry no header.
    if (line.empty()) return TLineResult::Continue;
    THttpStatusLine status = ParseStatusLine(line);
    if (!status.valid) {
      protocolError_ = "not an HTTP/1.x status line: " + line.substr(0, 80);
      return TLineResult::Error;
    }
    Protocol = std::move(status.protocol);
    StatusCode = status.code;
    StatusText = std::move(status.reason);
    return TLineResult::Continue;
  }
  if (line.empty()) return TLineResult::EndOfHeaders;
  THeaderLine parsed = ParseHeaderLine(line);
  if (parsed.kind == THeaderLineKind::Continuation) {
    // A folded line continues the field set last; with none it is dropped.
    if (!headers_.empty()) {
      TEntry& last = headers_.back();
      const std::string name = last.first;
      if (!SetHeader(name, last.second + " " + parsed.value)) return TLineResult::Error;
    }
    return TLineResult::Continue;
  }
  // Two lengths that disagree leave the body's end to a guess: refused
  // rather than letting the later line silently win.
  if (SameText(parsed.name, "Content-Length")) {
    const std::string earlier = TrimText(GetHeader("Content-Length"));
    if (!earlier.empty() && earlier != TrimText(parsed.value)) {
      protocolError_ = "two different Content-Length values: " + earlier + ", " + TrimText(parsed.value).substr(0, 40);
      return TLineResult::Error;
    }
  }
  return SetHeader(parsed.name, parsed.value) ? TLineResult::Continue : TLineResult::Error;
}

bool THttpHeader::IsChunked() const {
  return SameText(TrimText(GetHeader("Transfer-EnCoding")), "Chunked");
}

bool THttpHeader::KeepsConnection() const {
  // The header is a list of tokens ("keep-alive, Upgrade"); ASCII case does
  // not matter.
  std::string tokens = TrimText(GetHeader("Connection"));
  for (char& c : tokens) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  auto has = [&](const std::string& token) {
    size_t at = 0;
    while ((at = tokens.find(token, at)) != std::string::npos) {
      const size_t end = at + token.size();
      const bool startOk = at == 0 || tokens[at - 1] == ',' || tokens[at - 1] == ' ';
      const bool endOk = end == tokens.size() || tokens[end] == ',' || tokens[end] == ' ';
      if (startOk && endOk) return true;
      at = end;
    }
    return false;
  };
  if (has("close")) return false;
  if (SameText(Protocol, "HTTP/1.1")) return true;
  return SameText(Protocol, "HTTP/1.0") && has("keep-alive");
}

int THttpHeader::ContentWindowBits() const {
  const std::string coding = TrimText(GetHeader("Content-Encoding"));
  if (SameText(coding, "gzip")) return 47;
  if (SameText(coding, "deflate")) return -15;
  return 0;
}

}  // namespace lg
