#include "Library/hDownload/THttpGetDocument.h"

#include <chrono>

#include "Library/hDownload/HttpBody.h"
#include "Library/hDownload/WebText.h"
#include "common/Platform.h"

namespace lg {
namespace {

constexpr uint32_t kForceInterrupt = 1;

// A tick that cannot be mistaken for "none" or "interrupt now".
uint32_t PendingTick() {
  const uint32_t t = plat::TickCount();
  return t <= kForceInterrupt ? kForceInterrupt + 1 : t;
}

}  // namespace

THttpGetDocument::THttpGetDocument() : watchdog_([this] { Watch(); }) {}

THttpGetDocument::~THttpGetDocument() {
  {
    std::lock_guard<std::mutex> guard(stopLock_);
    stop_ = true;
  }
  stopWake_.notify_all();
  Abort();
  watchdog_.join();
}

void THttpGetDocument::Abort() {
  aborted_ = true;
  socket_.Abort();
}

void THttpGetDocument::Watch() {
  std::unique_lock<std::mutex> guard(stopLock_);
  while (!stop_) {
    stopWake_.wait_for(guard, std::chrono::milliseconds(100));
    if (stop_) break;
    uint32_t tick = connectTick_.load();
    const bool due = tick == kForceInterrupt || (tick > kForceInterrupt && plat::TickCount() - tick > kConnectWatchMs);
    // Only the connect that was seen overdue is interrupted.
    if (due && connectTick_.compare_exchange_strong(tick, 0)) {
      guard.unlock();  // no lock held while reaching into the socket
      socket_.Interrupt();
      guard.lock();
    }
  }
}

bool THttpGetDocument::Fail(const std::string& text) {
  if (failureText_.empty()) failureText_ = text;
  return false;
}

bool THttpGetDocument::Get(const std::string& url, const std::string& hostOverride) {
  document_.clear();
  documentLength_ = 0;
  failureText_.clear();
  const std::string target = ReplaceAll(ReplaceAll(url, "\\\\", "/"), "\\", "/");
  request_.SetRequest("GET", target);
  if (!DoRequest2(hostOverride)) return false;
  plat::DebugOutput("DoRequest " + hostOverride);
  if (!ReadBody()) {
    document_.clear();
    return false;
  }
  return true;
}

bool THttpGetDocument::DoRequest2(const std::string& hostOverride) {
  std::string connectHost = hostOverride.empty() ? request_.Host : hostOverride;
  for (int redirects = 0;; ++redirects) {
    if (request_.Port == 0) return Fail("not an http:// address: " + request_.URL);
    if (aborted_) return Fail("aborted");
    // A fresh object per response: entries of a redirect's response (its
    // framing or coding) must not apply to the next one.
    response_.Clear();
    response_.RangeStart = request_.RangeStart;
    response_.RangeEnd = request_.RangeEnd;
    response_.URL = request_.URL;

    connectTick_ = PendingTick();
    const bool connected = socket_.Connect(connectHost, request_.Port, kConnectTimeoutMs);
    connectTick_ = 0;
    if (!connected) return Fail("connect to " + connectHost + " failed: " + socket_.LastErrorText());

    const std::string text = request_.BuildRequestText();
    if (text.size() > 65535 || socket_.SendString(text) != static_cast<int>(text.size()))
      return Fail("sending the request to " + socket_.PeerText() + " failed: " + socket_.LastErrorText());
    if (!request_.Body.empty()) {
      const size_t n = request_.Body.size();
      if (n > 65535 || socket_.SendBuffer(request_.Body.data(), static_cast<uint16_t>(n)) != static_cast<int>(n))
        return Fail("sending the request body failed: " + socket_.LastErrorText());
    }
    if (!ReadHeaderBlock()) return false;

    const int code = response_.StatusCode;
    if (code == 200) {
      document_.clear();
      documentLength_ = response_.ContentLength;
      return true;
    }
    if (code == 206) {
      documentLength_ = response_.TotalSize;
      return true;
    }
    if (code == 301 || code == 302) {
      if (redirects >= maxRedirects_) return Fail("more than " + std::to_string(maxRedirects_) + " redirects");
      const std::string location = response_.GetHeader("Location");
      const std::string cookie = response_.GetHeader("Set-Cookie");
      const std::string referer = response_.URL;
      request_.SetRequest("GET", location);
      if (!cookie.empty()) request_.SetHeader("Cookie", cookie);
      request_.SetHeader("Referer", referer);
      // A relative Location leaves the request without a port: it fails at
      // the top of the next round.
      connectHost = request_.Host;
      continue;
    }
    if (code > 0) plat::DebugOutput(std::to_string(code) + " " + response_.StatusText + " " + request_.Path);
    failureText_ = response_.BuildRequestText();
    return false;
  }
}

bool THttpGetDocument::ReadHeaderBlock() {
  response_.ResetStatus();
  std::string line;
  for (int lines = 0;; ++lines) {
    if (lines >= kMaxHeaderLines) return Fail("more than " + std::to_string(kMaxHeaderLines) + " header lines");
    if (!socket_.ReadLine(line, TBlockSocket::TLineEnds::Strict)) {
      // An incomplete header block is not acted on: its status may be a
      // redirect whose Location never arrived.
      connectTick_ = kForceInterrupt;
      plat::DebugOutput("DoRequest2 ReadLine Error.");
      return Fail("reading the response from " + socket_.PeerText() +
                  " failed: " + (socket_.LastErrorText().empty() ? "connection closed" : socket_.LastErrorText()));
    }
    switch (response_.ParseResponseLine(line)) {
      case THttpHeader::TLineResult::Continue: break;
      case THttpHeader::TLineResult::EndOfHeaders: return true;
      case THttpHeader::TLineResult::Error:
        plat::DebugOutput(response_.ProtocolError());
        return Fail(response_.ProtocolError());
    }
  }
}

bool THttpGetDocument::ReadBody() {
  bool tooLarge = false;
  TBodyReadContext c{socket_,
                     response_,
                     [&](const char* data, int n) {
                       if (static_cast<int64_t>(document_.size()) + n > kMaxDocumentSize) {
                         tooLarge = true;
                         return false;
                       }
                       document_.append(data, n);
                       return true;
                     },
                     [this] { return aborted_.load(); },
                     "",
                     std::string()};
  bool ok;
  if (response_.IsChunked()) {
    c.tag = "ReadChunkedDocument2";
    ok = ReadChunkedBody(c);
  } else if (!response_.GetHeader("Content-Length").empty()) {
    c.tag = "ReadIdentityDocument";
    if (response_.ContentLength > kMaxDocumentSize) tooLarge = true;
    // One allocation instead of a growing copy for a body of known length.
    if (!tooLarge && response_.ContentLength > 0) {
      document_.reserve(static_cast<size_t>(response_.ContentLength));
      plat::PreferLargePages(document_.data(), document_.capacity());
    }
    ok = !tooLarge && ReadIdentityBodyInto(c, document_);
  } else {
    c.tag = "ReadDocumentUntilClose";
    ok = ReadBodyUntilClose(c);
  }
  if (tooLarge) return Fail("document larger than " + std::to_string(kMaxDocumentSize) + " bytes");
  if (!ok) return Fail(c.error);
  const int bits = response_.ContentWindowBits();
  if (bits == 0) return true;
  std::string error;
  if (!InflateDocument(document_, bits, kMaxDocumentSize, error)) return Fail(error);
  return true;
}

}  // namespace lg
