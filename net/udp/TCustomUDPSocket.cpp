#include "net/udp/TCustomUDPSocket.h"

#include "common/Platform.h"

namespace lg {
namespace {

constexpr int kIdleWaitMs = 20;
constexpr int kRoundPauseMs = 5;

struct TErrorEntry {
  int code;
  const char* text;
};

constexpr TErrorEntry kErrorTexts[] = {
    {10024, "No more socket descriptors are available."},
    {10036,
     "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a callback "
     "function."},
    {10038, "The descriptor is not a socket."},
    {10041, "The specified protocol is the wrong type for this socket."},
    {10043, "The specified protocol is not supported."},
    {10044, "The specified socket type is not supported in this address family."},
    {10047, "The specified address family is not supported."},
    {10048, "The specified address is already in use."},
    {10050, "The network subsystem or the associated service provider has failed."},
    {10055, "No buffer space is available. The socket cannot be created."},
    {10093, "A successful WSAStartup must occur before using this function."},
};

}  // namespace

EUDPSocketError::EUDPSocketError(const std::string& text, int code)
    : std::runtime_error(text + " (" + std::to_string(code) + ")"), code_(code) {}

TCustomUDPSocket::TCustomUDPSocket() = default;

TCustomUDPSocket::~TCustomUDPSocket() {
  // A subclass has already stopped the worker; this only guards against one
  // that forgot, without calling its (already destroyed) overrides.
  terminated_.store(true);
  wake_.Set();
  if (worker_.joinable()) worker_.join();
  std::lock_guard<std::mutex> guard(callbackLock_);
  onError_ = nullptr;
}

void TCustomUDPSocket::StartWorker() {
  if (!worker_.joinable() && !terminated_.load()) worker_ = std::thread([this] { Execute(); });
}

void TCustomUDPSocket::StopWorker() {
  wantOpen_.store(false);
  if (terminated_.exchange(true)) {
    if (worker_.joinable()) worker_.join();
    return;
  }
  SetActive(false);
  wake_.Set();
  if (worker_.joinable()) worker_.join();
}

void TCustomUDPSocket::SetHost(const std::string& host) {
  std::lock_guard<std::mutex> guard(socketLock_);
  if (socket_ != sock::kInvalid) return;
  std::string text = host.substr(0, host.find('\0'));
  if (text.size() > static_cast<size_t>(kMaxHostLength)) text.resize(kMaxHostLength);
  host_ = text;
}

std::string TCustomUDPSocket::Host() const {
  std::lock_guard<std::mutex> guard(socketLock_);
  return host_;
}

void TCustomUDPSocket::SetPort(int port) {
  std::lock_guard<std::mutex> guard(socketLock_);
  if (socket_ == sock::kInvalid) port_ = port;
}

int TCustomUDPSocket::Port() const {
  std::lock_guard<std::mutex> guard(socketLock_);
  return port_;
}

void TCustomUDPSocket::Open() {
  wantOpen_.store(true);
  wake_.Set();
}

void TCustomUDPSocket::Close() {
  wantOpen_.store(false);
  SetActive(false);
  // A send failure between the two stores may have asked for a reopen.
  wantOpen_.store(false);
}

bool TCustomUDPSocket::IsOpen() const {
  std::lock_guard<std::mutex> guard(socketLock_);
  return socket_ != sock::kInvalid;
}

void TCustomUDPSocket::SetOnError(TUDPErrorEvent handler) {
  std::lock_guard<std::mutex> guard(callbackLock_);
  onError_ = std::move(handler);
}

std::string TCustomUDPSocket::ErrorCodeText(int code) {
  for (const TErrorEntry& e : kErrorTexts)
    if (e.code == code) return e.text;
  return "ErrorCode is " + std::to_string(code);
}

void TCustomUDPSocket::ReportError(int code) {
  std::string text = ErrorCodeText(code);
  TUDPErrorEvent handler;
  {
    std::lock_guard<std::mutex> guard(callbackLock_);
    handler = onError_;
  }
  if (handler) handler(text, code);
  if (code != 0) throw EUDPSocketError(text, code);
}

bool TCustomUDPSocket::PublishSocket(sock::Handle handle) {
  std::lock_guard<std::mutex> guard(socketLock_);
  bool wanted = true;
  if (terminated_.load() || !wantOpen_.compare_exchange_strong(wanted, false)) {
    sock::Close(handle);
    return false;
  }
  socket_ = handle;
  return true;
}

void TCustomUDPSocket::Execute() {
  uint32_t lastAttempt = 0;
  // The first attempt is never held back, whatever the tick count is.
  bool attempted = false;
  while (!terminated_.load()) {
    try {
      if (!IsOpen()) {
        uint32_t now = plat::TickCount();
        if (wantOpen_.load() && (!attempted || now - lastAttempt >= reopenSpacingMs_.load())) {
          attempted = true;
          lastAttempt = now;
          SetActive(true);
        }
        wake_.WaitFor(kIdleWaitMs);
      } else if (Process()) {
        wake_.WaitFor(kRoundPauseMs);
      }
    } catch (const std::exception& e) {
      // An error no handler cleared: report it and carry on. A failed open
      // is retried after the spacing; a failed send has closed the socket
      // and asked for a reopen, keeping the staged bytes for it.
      plat::DebugOutput(std::string("UDP worker: ") + e.what());
      wake_.WaitFor(kIdleWaitMs);
    } catch (...) {
      plat::DebugOutput("UDP worker: unknown exception");
      wake_.WaitFor(kIdleWaitMs);
    }
  }
}

}  // namespace lg
