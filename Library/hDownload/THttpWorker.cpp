#include "Library/hDownload/THttpWorker.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "Library/hDownload/HttpBody.h"
#include "common/Platform.h"

namespace lg {
namespace {

// A tick that is never mistaken for "not watched" (0) or "time out now" (1).
uint32_t LiveTick() {
  const uint32_t t = plat::TickCount();
  return t <= 1 ? 2 : t;
}

}  // namespace

THttpWorker::THttpWorker(int index, std::string hostOverride, TEvents events, std::shared_ptr<TConnectionPool> pool)
    : Index(index),
      HostOverride(std::move(hostOverride)),
      events_(std::move(events)),
      pool_(std::move(pool)),
      dataBuffer_(new char[kDataBufferSize]) {
  thread_ = TJobThreads::Shared().Run([this] { Execute(); });
}

THttpWorker::~THttpWorker() {
  Terminate();
  Join();
}

void THttpWorker::Terminate() {
  {
    std::lock_guard<std::mutex> guard(wakeLock_);
    terminated_ = true;
  }
  Socket.Abort();
  wake_.notify_all();
}

void THttpWorker::Join() {
  thread_.Join();  // returns at once on the worker's own thread
}

bool THttpWorker::IsTimedOut(uint32_t now, uint32_t limitMs) const {
  const uint32_t tick = ActivityTick.load();
  // Signed difference: a tick taken just after `now` was read is not old.
  return tick != 0 && static_cast<int32_t>(now - tick) > static_cast<int32_t>(limitMs);
}

void THttpWorker::AssignRequest(std::unique_ptr<THttpHeader> request, std::optional<TByteRange> range) {
  request_ = std::move(request);
  range_ = range;
  assignedUrl_ = request_->URL;
  PrepareResponse();
  dataFill_ = 0;
  delivered_ = 0;
  ActivityTick = LiveTick();
  {
    std::lock_guard<std::mutex> guard(wakeLock_);
    wakeSignalled_ = true;
  }
  wake_.notify_all();
}

// A fresh response for every attempt: the lines of a redirect must not
// frame the answer that follows it. Its URL stays the one assigned, so the
// file keeps the name it was asked for.
void THttpWorker::PrepareResponse() {
  Response.Clear();
  Response.RangeStart = request_->RangeStart;
  Response.RangeEnd = request_->RangeEnd;
  Response.URL = assignedUrl_;
}

void THttpWorker::Pause(int ms) {
  std::unique_lock<std::mutex> guard(wakeLock_);
  wake_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return terminated_.load(); });
}

void THttpWorker::Execute() {
  for (;;) {
    {
      std::unique_lock<std::mutex> guard(wakeLock_);
      wake_.wait(guard, [this] { return wakeSignalled_ || terminated_.load(); });
      if (terminated_) break;
      wakeSignalled_ = false;
    }
    // A server that keeps failing is not asked again at once.
    if (Failures > 0) {
      ActivityTick = 0;
      Pause(std::min(250 * Failures, 2000));
      if (terminated_) break;
    }
    const bool ok = DoRequest() && !terminated_ && ReadBody();
    if (ok) {
      Failures = 0;
      Response.RangeEnd = 0;
      // Before OnDone: the download's next request may want it already.
      ReleaseConnection();
      if (events_.OnDone) events_.OnDone(*this);
      continue;
    }
    Failures = delivered_ > 0 ? 0 : Failures + 1;
    if (!terminated_ && events_.OnStop) events_.OnStop(*this);
  }
  terminated_ = true;
  ActivityTick = 0;
  if (events_.OnStop) events_.OnStop(*this);
}

bool THttpWorker::DoRequest() {
  THttpHeader& request = *request_;
  std::string host = HostOverride.empty() ? request.Host : HostOverride;
  lastStatus_ = 0;
  keepConnection_ = false;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (request.Port == 0 || terminated_) return false;
    ActivityTick = LiveTick();
    PrepareResponse();
    // Only the first attempt takes a kept connection: a redirect, or the
    // retry after a kept connection failed, starts on a fresh one.
    const bool reused = pool_ && attempt == 0 && TakePooledConnection(host, request.Port);
    if (!reused) {
      if (!Socket.Connect(host, request.Port, kConnectTimeoutMs)) return false;
      connectionHost_ = host;
      connectionPort_ = request.Port;
      connectionRequests_ = 0;
    }
    ++connectionRequests_;
    if (pool_) request.SetHeader("Connection", "keep-alive");
    const std::string text = request.BuildRequestText();
    if (text.size() > 65535 || Socket.SendString(text) != static_cast<int>(text.size())) continue;
    if (!request.Body.empty()) {
      const size_t n = request.Body.size();
      if (n > 65535 || Socket.SendBuffer(request.Body.data(), static_cast<uint16_t>(n)) != static_cast<int>(n))
        continue;
    }
    // An incomplete header block is not acted on: its status may be a
    // redirect whose Location never arrived, or a 206 without its range.
    bool nothingArrived = false;
    if (!ReadHeaderBlock(nothingArrived)) {
      // The server closed a kept connection while it waited in the pool.
      if (reused && nothingArrived && !terminated_) continue;
      return false;
    }
    lastStatus_ = Response.StatusCode;
    announcedLength_ = Response.GetHeader("Content-Length").empty() ? -1 : Response.ContentLength;
    keepConnection_ = pool_ && Response.KeepsConnection();
    Framing = Response.IsChunked() ? TFraming::Chunked : TFraming::Identity;
    const THeaderAnswer answer = events_.OnHeader ? events_.OnHeader(*this) : THeaderAnswer::Stop;
    if (answer == THeaderAnswer::Continue) return true;
    if (answer == THeaderAnswer::Stop) return false;
    host = request.Host;  // a redirect or retry goes to the URL's own host
  }
  return false;
}

bool THttpWorker::ReadHeaderBlock(bool& nothingArrived) {
  Response.ResetStatus();
  headerError_.clear();
  nothingArrived = false;
  std::string line;
  for (int lines = 0; lines < kMaxHeaderLines; ++lines) {
    if (!Socket.ReadLine(line, TBlockSocket::TLineEnds::Strict)) {
      plat::DebugOutput("DoRequest ReadLine Error.");
      if (Socket.LastError() == TBlockSocket::kBadLineEnd) headerError_ = Socket.LastErrorText();
      nothingArrived = lines == 0 && Socket.UnreadCount() == 0 && headerError_.empty();
      // A kept connection that failed at once is retried at once, not
      // reported as a stall.
      if (!(nothingArrived && pool_)) ActivityTick = 1;
      return false;
    }
    switch (Response.ParseResponseLine(line)) {
      case THttpHeader::TLineResult::Continue: break;
      case THttpHeader::TLineResult::EndOfHeaders: return true;
      case THttpHeader::TLineResult::Error:
        headerError_ = Response.ProtocolError();
        plat::DebugOutput(headerError_);
        return false;
    }
  }
  headerError_ = "more than " + std::to_string(kMaxHeaderLines) + " header lines";
  return false;
}

bool THttpWorker::Flush() {
  if (dataFill_ == 0) return true;
  // The writer may hold us back (back-pressure): that is not a stall.
  ActivityTick = 0;
  const bool ok =
      events_.OnData && events_.OnData(*this, dataBuffer_.get(), dataFill_, Response.RangeStart + delivered_);
  ActivityTick = LiveTick();
  if (ok) delivered_ += dataFill_;
  dataFill_ = 0;
  return ok;
}

bool THttpWorker::ReadBody() {
  dataFill_ = 0;
  delivered_ = 0;
  if (!events_.OnData) return false;
  // A ranged answer never writes past its range, whatever the server sends.
  const int64_t limit = range_ ? range_->Length() : -1;
  if (limit >= 0 && Framing == TFraming::Identity && Response.ContentLength > limit) Response.ContentLength = limit;
  bool refused = false;
  TBodyReadContext c{Socket,
                     Response,
                     [&](const char* data, int n) {
                       if (limit >= 0) {
                         const int64_t room = limit - delivered_ - dataFill_;
                         if (room <= 0) return false;
                         n = static_cast<int>(std::min<int64_t>(n, room));
                       }
                       if (dataFill_ + n > kDataBufferSize && !Flush()) {
                         refused = true;
                         return false;
                       }
                       std::memcpy(dataBuffer_.get() + dataFill_, data, static_cast<size_t>(n));
                       const uint32_t now = plat::TickCount();
                       if (dataFill_ == 0) fillTick_ = now;
                       dataFill_ += n;
                       if (now - fillTick_ >= kDataBufferAgeMs && !Flush()) {
                         refused = true;
                         return false;
                       }
                       return true;
                     },
                     [this] {
                       ActivityTick = LiveTick();
                       return terminated_.load();
                     },
                     "",
                     std::string()};
  bool ok;
  switch (Framing) {
    case TFraming::Chunked:
      c.tag = "ReadChunkedDocument";
      ok = ReadChunkedBody(c);
      break;
    case TFraming::UntilClose:
      c.tag = "ReadDocumentUntilClose";
      ok = ReadBodyUntilClose(c);
      break;
    default:
      c.tag = "ReadIdentityDocument";
      ok = ReadIdentityBody(c);
      break;
  }
  // Bytes already received are good even when the body broke off later.
  const bool flushed = !refused && Flush();
  if (!ok && Framing == TFraming::Chunked && !refused && c.error.find("ReadLine") != std::string::npos) {
    plat::DebugOutput("ReadChunkedDocument ReadLine Error.");
    ActivityTick = 1;
  }
  // The connection carries another request only when this answer ended
  // exactly where its framing says.
  bool whole = ok && flushed && !refused;
  if (Framing == TFraming::Identity) whole = whole && delivered_ == announcedLength_;
  if (Framing == TFraming::Chunked) whole = whole && keepConnection_ && ReadTrailer();
  if (Framing == TFraming::UntilClose) whole = false;
  keepConnection_ = keepConnection_ && whole;
  if (!ok && !refused && limit >= 0 && delivered_ == limit) ok = true;  // the range is complete
  Response.Received = delivered_;
  if (!ok && !c.error.empty()) plat::DebugOutput(std::to_string(Index) + "# " + c.error);
  return ok && flushed;
}

// The lines after the last chunk, up to the empty line that ends the answer.
bool THttpWorker::ReadTrailer() {
  std::string line;
  for (int lines = 0; lines < kMaxHeaderLines; ++lines) {
    if (!Socket.ReadLine(line, TBlockSocket::TLineEnds::Strict)) return false;
    if (line.empty()) return true;
  }
  return false;
}

bool THttpWorker::TakePooledConnection(const std::string& host, int port) {
  TConnectionPool::TLease lease = pool_->Take(host, port);
  if (!lease.socket || !Socket.TakeConnection(*lease.socket)) return false;
  connectionHost_ = host;
  connectionPort_ = port;
  connectionRequests_ = lease.requests;
  return true;
}

void THttpWorker::ReleaseConnection() {
  const bool keep = keepConnection_;
  keepConnection_ = false;
  // Bytes beyond the answer would be taken for the next one.
  if (!pool_ || !keep || terminated_ || Socket.UnreadCount() > 0) return;
  auto kept = std::make_unique<TBlockSocket>();
  if (kept->TakeConnection(Socket)) pool_->Give(connectionHost_, connectionPort_, std::move(kept), connectionRequests_);
}

}  // namespace lg
