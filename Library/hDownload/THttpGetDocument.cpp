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
  Socket_.Abort();
}

void THttpGetDocument::Watch() {
  std::unique_lock<std::mutex> guard(stopLock_);
  while (!stop_) {
    stopWake_.wait_for(guard, std::chrono::milliseconds(100));
    if (stop_) break;
    uint32_t tick = ConnectTick_.load();
    const bool due = tick == kForceInterrupt || (tick > kForceInterrupt && plat::TickCount() - tick > kConnectWatchMs);
    // Only the connect that was seen overdue is interrupted.
    if (due && ConnectTick_.compare_exchange_strong(tick, 0)) {
      guard.unlock();  // no lock held while reaching into the socket
      Socket_.Interrupt();
      guard.lock();
    }
  }
}

bool THttpGetDocument::Fail(const std::string& text) {
  if (FailureText_.empty()) FailureText_ = text;
  return false;
}

bool THttpGetDocument::Get(const std::string& url, const std::string& hostOverride) {
  Document_.clear();
  DocumentLength_ = 0;
  FailureText_.clear();
  const std::string target = ReplaceAll(ReplaceAll(url, "\\\\", "/"), "\\", "/");
  Request_.SetRequest("GET", target);
  if (!DoRequest2(hostOverride)) return false;
  plat::DebugOutput("DoRequest " + hostOverride);
  if (!ReadBody()) {
    Document_.clear();
    return false;
  }
  return true;
}

bool THttpGetDocument::DoRequest2(const std::string& hostOverride) {
  std::string connectHost = hostOverride.empty() ? Request_.Host : hostOverride;
  for (int redirects = 0;; ++redirects) {
    if (Request_.Port == 0) return Fail("not an http:// address: " + Request_.URL);
    if (aborted_) return Fail("aborted");
    // A fresh object per response: entries of a redirect's response (its
    // framing or coding) must not apply to the next one.
    Response_.Clear();
    Response_.RangeStart = Request_.RangeStart;
    Response_.RangeEnd = Request_.RangeEnd;
    Response_.URL = Request_.URL;

    ConnectTick_ = PendingTick();
    const bool connected = Socket_.Connect(connectHost, Request_.Port, kConnectTimeoutMs);
    ConnectTick_ = 0;
    if (!connected) return Fail("connect to " + connectHost + " failed: " + Socket_.LastErrorText());

    const std::string text = Request_.BuildRequestText();
    if (text.size() > 65535 || Socket_.SendString(text) != static_cast<int>(text.size()))
      return Fail("sending the request to " + Socket_.PeerText() + " failed: " + Socket_.LastErrorText());
    if (!Request_.Body.empty()) {
      const size_t n = Request_.Body.size();
      if (n > 65535 || Socket_.SendBuffer(Request_.Body.data(), static_cast<uint16_t>(n)) != static_cast<int>(n))
        return Fail("sending the request body failed: " + Socket_.LastErrorText());
    }
    if (!ReadHeaderBlock()) return false;

    const int code = Response_.StatusCode;
    if (code == 200) {
      Document_.clear();
      DocumentLength_ = Response_.ContentLength;
      return true;
    }
    if (code == 206) {
      DocumentLength_ = Response_.TotalSize;
      return true;
    }
    if (code == 301 || code == 302) {
      if (redirects >= kMaxRedirects) return Fail("more than " + std::to_string(kMaxRedirects) + " redirects");
      const std::string location = Response_.GetHeader("Location");
      const std::string cookie = Response_.GetHeader("Set-Cookie");
      const std::string referer = Response_.URL;
      Request_.SetRequest("GET", location);
      if (!cookie.empty()) Request_.SetHeader("Cookie", cookie);
      Request_.SetHeader("Referer", referer);
      // A relative Location leaves the request without a port: it fails at
      // the top of the next round.
      connectHost = Request_.Host;
      continue;
    }
    if (code > 0) plat::DebugOutput(std::to_string(code) + " " + Response_.StatusText + " " + Request_.Path);
    FailureText_ = Response_.BuildRequestText();
    return false;
  }
}

bool THttpGetDocument::ReadHeaderBlock() {
  Response_.ResetStatus();
  std::string line;
  for (int lines = 0;; ++lines) {
    if (lines >= kMaxHeaderLines) return Fail("more than " + std::to_string(kMaxHeaderLines) + " header lines");
    if (!Socket_.ReadLine(line)) {
      // An incomplete header block is not acted on: its status may be a
      // redirect whose Location never arrived.
      ConnectTick_ = kForceInterrupt;
      plat::DebugOutput("DoRequest2 ReadLine Error.");
      return Fail("reading the response from " + Socket_.PeerText() +
                  " failed: " + (Socket_.LastErrorText().empty() ? "connection closed" : Socket_.LastErrorText()));
    }
    switch (Response_.ParseResponseLine(line)) {
      case THttpHeader::TLineResult::Continue: break;
      case THttpHeader::TLineResult::EndOfHeaders: return true;
      case THttpHeader::TLineResult::Error:
        plat::DebugOutput(Response_.ProtocolError());
        return Fail(Response_.ProtocolError());
    }
  }
}

bool THttpGetDocument::ReadBody() {
  bool tooLarge = false;
  TBodyReadContext c{Socket_,
                     Response_,
                     [&](const char* data, int n) {
                       if (static_cast<int64_t>(Document_.size()) + n > kMaxDocumentSize) {
                         tooLarge = true;
                         return false;
                       }
                       Document_.append(data, n);
                       return true;
                     },
                     [this] { return aborted_.load(); },
                     "",
                     std::string()};
  bool ok;
  if (Response_.IsChunked()) {
    c.tag = "ReadChunkedDocument2";
    ok = ReadChunkedBody(c);
  } else if (!Response_.GetHeader("Content-Length").empty()) {
    c.tag = "ReadIdentityDocument";
    if (Response_.ContentLength > kMaxDocumentSize) tooLarge = true;
    // One allocation instead of a growing copy for a body of known length.
    if (!tooLarge && Response_.ContentLength > 0) Document_.reserve(static_cast<size_t>(Response_.ContentLength));
    ok = !tooLarge && ReadIdentityBody(c);
  } else {
    c.tag = "ReadDocumentUntilClose";
    ok = ReadBodyUntilClose(c);
  }
  if (tooLarge) return Fail("document larger than " + std::to_string(kMaxDocumentSize) + " bytes");
  if (!ok) return Fail(c.error);
  const int bits = Response_.ContentWindowBits();
  if (bits == 0) return true;
  std::string error;
  if (!InflateDocument(Document_, bits, kMaxDocumentSize, error)) return Fail(error);
  return true;
}

}  // namespace lg
