#include "tests/support/HttpTestServer.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "common/Platform.h"
#include "common/Socket.h"

namespace lg::test {
namespace {

constexpr int kSliceMs = 50;
constexpr size_t kMaxRequestHead = 1 << 20;
constexpr uint32_t kRequestReadMs = 15000;

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// "bytes=a-b" or "bytes=a-" (any letter case): false when not of that form.
bool ParseRange(const std::string& value, int64_t& first, int64_t& last) {
  const std::string v = Trim(value);
  if (v.size() < 7 || !SameTextAscii(v.substr(0, 6), "bytes=")) return false;
  const size_t dash = v.find('-', 6);
  if (dash == std::string::npos || dash == 6) return false;
  try {
    first = std::stoll(v.substr(6, dash - 6));
    last = dash + 1 < v.size() ? std::stoll(v.substr(dash + 1)) : -1;
  } catch (...) {
    return false;
  }
  return first >= 0;
}

}  // namespace

std::string Compress(const std::string& data, bool gzip) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, gzip ? 31 : -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::string();
  std::string out(deflateBound(&z, data.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string TRecordedRequest::Header(const std::string& name) const {
  std::string value;
  for (const auto& h : headers)
    if (SameTextAscii(h.first, name)) value = h.second;
  return value;
}

bool TRecordedRequest::HasHeader(const std::string& name) const {
  return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return SameTextAscii(h.first, name); });
}

THttpReply THttpReply::Text(std::string body, int status) {
  THttpReply r;
  r.status = status;
  r.reason = status == 200 ? "OK" : "Status";
  r.body = std::move(body);
  return r;
}

THttpReply THttpReply::Redirect(const std::string& location, int status) {
  THttpReply r;
  r.status = status;
  r.reason = status == 301 ? "Moved Permanently" : "Found";
  r.headers.emplace_back("Location", location);
  return r;
}

THttpReply THttpReply::NotFound() {
  THttpReply r;
  r.status = 404;
  r.reason = "Not Found";
  r.body = "not found";
  return r;
}

THttpTestServer::THttpTestServer() {
  listener_ = sock::Open(sock::Kind::Stream);
  if (listener_ == sock::kInvalid || sock::Bind(listener_, sock::ParseIpv4("127.0.0.1"), 0) != 0 ||
      sock::Listen(listener_, 64) != 0)
    std::abort();  // a test host without loopback cannot run these tests
  port_ = sock::LocalPort(listener_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

THttpTestServer::~THttpTestServer() {
  Stop();
}

std::string THttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void THttpTestServer::Serve(const std::string& target, THttpReply reply) {
  std::lock_guard<std::mutex> guard(lock_);
  routes_[target] = std::move(reply);
}

void THttpTestServer::SetHandler(THandler handler) {
  std::lock_guard<std::mutex> guard(lock_);
  handler_ = std::move(handler);
}

void THttpTestServer::SetKeepAlive(int maxRequests, int idleMs) {
  keepAliveRequests_ = maxRequests;
  keepAliveIdleMs_ = idleMs;
}

std::vector<TRecordedRequest> THttpTestServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

size_t THttpTestServer::RequestCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_.size();
}

void THttpTestServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (acceptor_.joinable()) acceptor_.join();
  sock::Close(listener_);
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> guard(lock_);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
}

void THttpTestServer::AcceptLoop() {
  while (!stopping_) {
    if (sock::Select(listener_, sock::Wait::Read, kSliceMs) != 1) continue;
    // Counted before the accept: WaitIdle sees a connection either still
    // waiting at the listener or here.
    ++active_;
    const sock::Handle client = sock::Accept(listener_, nullptr, nullptr);
    if (client == sock::kInvalid) {
      --active_;
      continue;
    }
    ++connections_;
    sock::SetTimeouts(client, 1000, 1000);
    std::lock_guard<std::mutex> guard(lock_);
    workers_.emplace_back([this, client] { HandleConnection(client); });
  }
}

void THttpTestServer::Pause(int ms) {
  const uint32_t start = plat::TickCount();
  while (!stopping_ && plat::TickCount() - start < static_cast<uint32_t>(ms))
    plat::SleepMs(std::min<uint32_t>(kSliceMs, ms - (plat::TickCount() - start)));
}

bool THttpTestServer::ReadRequest(std::intptr_t client, TRecordedRequest& request, uint32_t idleLimitMs) {
  std::string& raw = request.raw;
  char buffer[4096];
  size_t headEnd = std::string::npos;
  size_t bodyLength = 0;
  const uint32_t start = plat::TickCount();
  for (;;) {
    if (headEnd == std::string::npos) {
      headEnd = raw.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        // Parse the head once it is complete.
        const std::string head = raw.substr(0, headEnd);
        size_t pos = head.find("\r\n");
        const std::string first = head.substr(0, pos);
        const size_t s1 = first.find(' '), s2 = first.rfind(' ');
        request.method = first.substr(0, s1);
        if (s1 != std::string::npos && s2 > s1) {
          request.target = first.substr(s1 + 1, s2 - s1 - 1);
          request.protocol = first.substr(s2 + 1);
        }
        while (pos != std::string::npos) {
          const size_t next = head.find("\r\n", pos + 2);
          const std::string line = head.substr(pos + 2, next == std::string::npos ? next : next - pos - 2);
          const size_t colon = line.find(':');
          if (colon != std::string::npos)
            request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
          pos = next;
        }
        const std::string length = request.Header("Content-Length");
        bodyLength = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
        headEnd += 4;
      }
    }
    if (headEnd != std::string::npos && raw.size() >= headEnd + bodyLength) {
      request.body = raw.substr(headEnd, bodyLength);
      return true;
    }
    const uint32_t limit = raw.empty() ? idleLimitMs : kRequestReadMs;
    if (stopping_ || raw.size() > kMaxRequestHead + bodyLength || plat::TickCount() - start > limit) return false;
    const int ready = sock::Select(client, sock::Wait::Read, kSliceMs);
    if (ready < 0) return false;
    if (ready == 0) continue;
    const int n = sock::Recv(client, buffer, sizeof buffer);
    if (n <= 0) return false;
    raw.append(buffer, n);
  }
}

THttpReply THttpTestServer::ReplyFor(const TRecordedRequest& request) {
  std::lock_guard<std::mutex> guard(lock_);
  requests_.push_back(request);
  auto it = routes_.find(request.target);
  if (it != routes_.end()) return it->second;
  if (handler_) return handler_(request);
  return THttpReply::NotFound();
}

bool THttpTestServer::SendAll(std::intptr_t client, const char* data, size_t size) {
  while (size > 0) {
    if (stopping_) return false;
    const int n = sock::Send(client, data, static_cast<int>(std::min<size_t>(size, 1 << 20)));
    if (n < 0) {
      if (sock::LastError() == sock::kWouldBlock) continue;  // the send time-out: look at stopping_ again
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void THttpTestServer::HoldOpen(std::intptr_t client) {
  char buffer[4096];
  while (!stopping_) {
    const int ready = sock::Select(client, sock::Wait::Read, kSliceMs);
    if (ready < 0) return;
    if (ready > 0 && sock::Recv(client, buffer, sizeof buffer) <= 0) return;  // the client closed
  }
}

bool THttpTestServer::SendReply(std::intptr_t client, const TRecordedRequest& request, THttpReply r, bool mayKeep) {
  if (r.beforeAnswer) r.beforeAnswer(request);
  if (r.delayMs > 0) Pause(r.delayMs);
  if (r.neverAnswer) {
    HoldOpen(client);
    return false;
  }
  bool keepAliveHeader = false;
  for (const auto& h : r.headers)
    if (h.first == "Connection" && h.second == "keep-alive") keepAliveHeader = true;
  const bool keep = mayKeep && r.raw.empty() && !r.closeConnection && r.dropAfter < 0 && r.stallAfter < 0 &&
                    (r.protocol == "HTTP/1.1" || keepAliveHeader);

  std::string head, body;
  if (!r.raw.empty()) {
    body = r.raw;
  } else {
    std::string entity = r.body;
    std::vector<std::pair<std::string, std::string>> generated;
    if (r.coding != THttpReply::TCoding::Identity) {
      const bool gzip = r.coding == THttpReply::TCoding::Gzip;
      entity = Compress(entity, gzip);
      generated.emplace_back("Content-Encoding", r.codingName.empty() ? (gzip ? "gzip" : "deflate") : r.codingName);
    }
    int64_t first = 0, last = 0;
    if (!r.contentRange.empty()) {
      r.status = 206;
      r.reason = "Partial Content";
      generated.emplace_back("Content-Range", r.contentRange);
    } else if (r.honourRanges && request.HasHeader("Range") && ParseRange(request.Header("Range"), first, last)) {
      const int64_t total = static_cast<int64_t>(entity.size());
      if (first >= total) {
        r.status = 416;
        r.reason = "Range Not Satisfiable";
        generated.emplace_back("Content-Range", "bytes */" + std::to_string(total));
        entity.clear();
      } else {
        if (last < 0 || last >= total) last = total - 1;
        r.status = 206;
        r.reason = "Partial Content";
        generated.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                                    std::to_string(total));
        entity = entity.substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1));
      }
    }
    if (r.chunked) {
      generated.emplace_back("Transfer-Encoding", "chunked");
      const size_t step = std::max<size_t>(r.chunkSize, 1);
      for (size_t at = 0; at < entity.size(); at += step) {
        const size_t n = std::min(step, entity.size() - at);
        char size[32];
        std::snprintf(size, sizeof size, "%zx", n);
        body += size + r.chunkExtension + "\r\n" + entity.substr(at, n) + "\r\n";
      }
      body += "0\r\n\r\n";
    } else {
      if (r.sendLength) generated.emplace_back("Content-Length", std::to_string(entity.size()));
      body = entity;
    }
    if (keepAliveRequests_ == 0 || r.closeConnection) generated.emplace_back("Connection", "close");
    head = r.protocol + " " + std::to_string(r.status) + " " + r.reason + "\r\n";
    for (const auto& h : generated) head += h.first + ": " + h.second + "\r\n";
    for (const auto& h : r.headers) head += h.first + ": " + h.second + "\r\n";
    head += "\r\n";
  }

  // The body on the wire, cut short where the script says so.
  bool hold = false;
  if (r.dropAfter >= 0 && static_cast<size_t>(r.dropAfter) < body.size()) body.resize(static_cast<size_t>(r.dropAfter));
  if (r.stallAfter >= 0 && static_cast<size_t>(r.stallAfter) < body.size()) {
    body.resize(static_cast<size_t>(r.stallAfter));
    hold = true;
  }
  const std::string wire = head + body;
  const size_t piece = r.writeBytes > 0 ? r.writeBytes : wire.size();
  for (size_t at = 0; at < wire.size(); at += piece) {
    if (at > 0 && r.writeDelayMs > 0) Pause(r.writeDelayMs);
    if (!SendAll(client, wire.data() + at, std::min(piece, wire.size() - at))) return false;
  }
  if (hold) HoldOpen(client);
  return keep && !hold;
}

void THttpTestServer::HandleConnection(std::intptr_t client) {
  const int maxRequests = keepAliveRequests_.load();
  for (int served = 0;;) {
    TRecordedRequest request;
    const uint32_t idle = served == 0 ? kRequestReadMs : static_cast<uint32_t>(keepAliveIdleMs_.load());
    if (!ReadRequest(client, request, idle)) break;
    ++served;
    const bool mayKeep = maxRequests > 0 && served < maxRequests;
    if (!SendReply(client, request, ReplyFor(request), mayKeep)) break;
  }
  sock::ShutdownBoth(client);
  sock::Close(client);
  --active_;
}

bool THttpTestServer::WaitIdle(uint32_t limitMs) {
  const uint32_t start = plat::TickCount();
  for (;;) {
    // The listener first: a connection taken from it after this look is
    // already counted in active_.
    if (sock::Select(listener_, sock::Wait::Read, 0) != 1 && active_.load() == 0) return true;
    if (plat::TickCount() - start >= limitMs) return false;
    plat::SleepMs(5);
  }
}

}  // namespace lg::test
