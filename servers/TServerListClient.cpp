#include "servers/TServerListClient.h"

#include <cstdio>

#include "DeploymentDefaults.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "net/udp/HostResolve.h"
#include "servers/ServerListFrame.h"

namespace lg {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char line[512];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

}  // namespace

std::string ChooseServiceAddress(const std::vector<std::string>& resolved, const std::string& fallbackIp,
                                 std::mt19937& random, const TLogEvent& log) {
  const int count = static_cast<int>(resolved.size());
  for (int i = count - 1; i >= 0; --i) log(Format("IPlist id=%d-%d, ip=%s", i, count, resolved[i].c_str()));
  std::string ip = fallbackIp;
  if (count > 0) ip = resolved[std::uniform_int_distribution<int>(0, count - 1)(random)];
  log(Format("init UDP ip=%s", ip.c_str()));
  return ip;
}

TServerListClient::TServerListClient(THostListResolver resolver, TLogEvent log)
    : resolver_(std::move(resolver)), log_(std::move(log)), random_(std::random_device{}()) {
  if (!log_) log_ = [](const std::string& line) { plat::DebugOutput(line); };
  if (!resolver_)
    resolver_ = [](const std::string& host, std::vector<std::string>& list) { ResolveHostList(host, list); };
  reply_.OnServerList = [this](const std::string& text) {
    TServerListEvent handler;
    {
      std::lock_guard<std::mutex> guard(handlerLock_);
      handler = onServerList_;
    }
    if (handler) handler(text);
  };
  socket_.SetOnReceive([this](uint32_t, uint16_t, const char* data, int length) { Received(data, length); });
  socket_.SetOnError([](const std::string& text, int& code) {
    // Reported on the worker: log it and let the socket retry on its own.
    plat::DebugOutput(Format("server list socket: %s (%d)", text.c_str(), code));
    code = 0;
  });
}

TServerListClient::~TServerListClient() = default;

void TServerListClient::Start() {
  Start(defaults::kServerListHost, defaults::kServerListFallbackIp, ops::kServerListPort);
}

void TServerListClient::Start(const std::string& host, const std::string& fallbackIp, uint16_t port) {
  std::vector<std::string> resolved;
  resolver_(host, resolved);
  std::string ip = ChooseServiceAddress(resolved, fallbackIp, random_, log_);
  {
    std::lock_guard<std::mutex> guard(ipLock_);
    serviceIp_ = ip;
  }
  socket_.SetHost(ip);
  socket_.SetPort(port);
  socket_.Open();
}

std::string TServerListClient::ServiceIp() const {
  std::lock_guard<std::mutex> guard(ipLock_);
  return serviceIp_;
}

bool TServerListClient::Request(const std::string& hubId) {
  std::optional<std::string> frame = EncodeServerListRequest(hubId);
  const std::string ip = ServiceIp();
  if (!frame) {
    log_(Format("get serverlist: game id \"%s\" is not a decimal number; no request sent", hubId.c_str()));
    return false;
  }
  log_(Format("get serverlist id=%d, ip=%s", static_cast<int>(*DecodeServerListRequest(*frame)), ip.c_str()));
  // Marked before the send, so the worker empties the buffer before any
  // datagram of this request's reply can arrive.
  clearPending_.store(true);
  if (socket_.SendBuffer(frame->data(), static_cast<int>(frame->size())) == 0) {
    log_(Format("get serverlist: the socket to %s is not open; no request sent", ip.c_str()));
    return false;
  }
  return true;
}

void TServerListClient::SetOnServerList(TServerListEvent handler) {
  std::lock_guard<std::mutex> guard(handlerLock_);
  onServerList_ = std::move(handler);
}

void TServerListClient::Received(const char* data, int length) {
  if (clearPending_.exchange(false)) reply_.Clear();
  reply_.Append(data, static_cast<size_t>(length));
}

}  // namespace lg
