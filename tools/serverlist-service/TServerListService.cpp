#include "tools/serverlist-service/TServerListService.h"

#include <algorithm>
#include <cstdio>

#include "common/FileStream.h"
#include "common/Platform.h"
#include "servers/ServerListFrame.h"
#include "tools/serverlist-service/ServerListDocument.h"

namespace lg {
namespace {

std::string Endpoint(uint32_t ip, uint16_t port) {
  return sock::FormatIpv4(ip) + ":" + std::to_string(port);
}

}  // namespace

TServerListService::TServerListService(TServerListServiceOptions options, TLogger log)
    : options_(std::move(options)), log_(std::move(log)) {
  if (!log_) {
    log_ = [](const std::string& line) {
      std::fprintf(stderr, "serverlist-service: %s\n", line.c_str());
      std::fflush(stderr);
    };
  }
}

TServerListService::~TServerListService() {
  if (socket_ != sock::kInvalid) sock::Close(socket_);
}

void TServerListService::Log(const std::string& line) const {
  log_(line);
}

bool TServerListService::Load(std::string& error) {
  const std::string& path = options_.listPath;
  // Stamp and size first: a change while we read is seen at the next look.
  const int64_t stamp = plat::LastWriteTime(path);
  const int64_t size = plat::FileSize(path);
  std::string text;
  if (!plat::ReadWholeFile(path, text)) {
    error = "cannot read the list \"" + path + "\"";
    return false;
  }
  std::string gbk;
  if (!PrepareServerList(text, gbk, error)) {
    error = "\"" + path + "\": " + error;
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(listLock_);
    payload_ = std::move(gbk);
  }
  stamp_ = stamp;
  size_ = size;
  Log("loaded \"" + path + "\": " + std::to_string(ListSize()) + " bytes of GBK text");
  return true;
}

size_t TServerListService::ListSize() const {
  std::lock_guard<std::mutex> guard(listLock_);
  return payload_.size();
}

bool TServerListService::Open(std::string& error) {
  const uint32_t ip = sock::ParseIpv4(options_.bindIp);
  if (ip == sock::kAddrNone) {
    error = "not a dotted IPv4 address: \"" + options_.bindIp + "\"";
    return false;
  }
  sock::Handle h = sock::Open(sock::Kind::Datagram);
  if (h == sock::kInvalid) {
    error = "cannot make a UDP socket: " + sock::ErrorText(sock::LastError());
    return false;
  }
  if (sock::Bind(h, ip, options_.port) != 0) {
    error = "cannot bind " + options_.bindIp + ":" + std::to_string(options_.port) + ": " +
            sock::ErrorText(sock::LastError());
    sock::Close(h);
    return false;
  }
  socket_ = h;
  port_ = sock::LocalPort(h);
  Log("listening on " + options_.bindIp + ":" + std::to_string(port_.load()) +
      (options_.hubId ? ", game id " + std::to_string(*options_.hubId) : ", any game id"));
  return true;
}

bool TServerListService::Poll(int waitMs) {
  if (socket_ == sock::kInvalid) return false;
  if (sock::Select(socket_, sock::Wait::Read, waitMs) != 1) return false;
  char buffer[kDatagramSize];
  uint32_t ip = 0;
  uint16_t port = 0;
  const int n = sock::RecvFrom(socket_, buffer, sizeof buffer, &ip, &port);
  if (n < 0) return false;  // e.g. a port-unreachable report for an earlier answer
  const std::optional<int32_t> id = DecodeServerListRequest(std::string_view(buffer, static_cast<size_t>(n)));
  if (!id) {
    Log("ignored " + std::to_string(n) + " bytes from " + Endpoint(ip, port) + ": not a server list request");
    return true;
  }
  if (options_.hubId && *id != *options_.hubId) {
    Log("request id=" + std::to_string(*id) + " from " + Endpoint(ip, port) + " ignored: serving game id " +
        std::to_string(*options_.hubId));
    return true;
  }
  ReloadIfChanged();
  Log("request id=" + std::to_string(*id) + " from " + Endpoint(ip, port));
  Answer(ip, port);
  return true;
}

void TServerListService::Run(const std::atomic<bool>& stop) {
  while (!stop.load()) Poll(kWaitSliceMs);
}

void TServerListService::ReloadIfChanged() {
  const int64_t stamp = plat::LastWriteTime(options_.listPath);
  const int64_t size = plat::FileSize(options_.listPath);
  if (stamp == stamp_ && size == size_) return;
  std::string error;
  if (!Load(error)) {
    // Remember the broken state so it is reported once, not per request.
    stamp_ = stamp;
    size_ = size;
    Log("reload failed, still serving the previous list: " + error);
  }
}

void TServerListService::Answer(uint32_t ip, uint16_t port) {
  std::string frame;
  {
    std::lock_guard<std::mutex> guard(listLock_);
    frame = EncodeFrame(ops::kCmdServerListReply, payload_);
  }
  int datagrams = 0;
  for (size_t at = 0; at < frame.size(); at += kDatagramSize) {
    const size_t n = std::min(frame.size() - at, static_cast<size_t>(kDatagramSize));
    if (sock::SendTo(socket_, frame.data() + at, static_cast<int>(n), ip, port) != static_cast<int>(n)) {
      Log("sending to " + Endpoint(ip, port) + " failed: " + sock::ErrorText(sock::LastError()));
      return;
    }
    ++datagrams;
  }
  ++answered_;
  Log("answered " + Endpoint(ip, port) + " with " + std::to_string(frame.size()) + " bytes in " +
      std::to_string(datagrams) + " datagrams");
}

}  // namespace lg
