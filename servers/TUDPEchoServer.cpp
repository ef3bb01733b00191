#include "servers/TUDPEchoServer.h"

#include "common/Platform.h"

namespace lg {

uint32_t MillisecondTicks() {
  return plat::TickCount();
}

TUDPEchoServer::TUDPEchoServer(uint16_t localPort) : localPort_(localPort) {
  thread_ = std::thread([this] { Run(); });
}

TUDPEchoServer::~TUDPEchoServer() {
  // The worker waits in slices of at most 200 ms and sees the stop request
  // there; the socket is closed only after it ended, so no call can run on a
  // handle number the system has already handed out again.
  stop_ = true;
  wake_.Set();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> guard(socketLock_);
  if (socket_ != sock::kInvalid) sock::Close(socket_);
  socket_ = sock::kInvalid;
}

void TUDPEchoServer::SetOnEcho(TEchoHandler handler) {
  std::lock_guard<std::mutex> guard(handlerLock_);
  onEcho_ = std::move(handler);
}

bool TUDPEchoServer::IsOpen() const {
  std::lock_guard<std::mutex> guard(socketLock_);
  return socket_ != sock::kInvalid;
}

bool TUDPEchoServer::OpenSocket() {
  sock::Handle h = sock::Open(sock::Kind::Datagram);
  if (h == sock::kInvalid) return false;
  uint16_t port = 0;
  if (sock::Bind(h, 0, localPort_.load()) != 0 || (port = sock::LocalPort(h)) == 0) {
    sock::Close(h);
    return false;
  }
  std::lock_guard<std::mutex> guard(socketLock_);
  localPort_ = port;
  socket_ = h;
  return true;
}

void TUDPEchoServer::Run() {
  char buffer[1024];
  while (!stop_) {
    sock::Handle h;
    {
      std::lock_guard<std::mutex> guard(socketLock_);
      h = socket_;
    }
    if (h == sock::kInvalid) {
      if (!OpenSocket()) wake_.WaitFor(kReopenPauseMs);
      continue;
    }
    // Wait in slices so a stop request is seen promptly.
    if (sock::Select(h, sock::Wait::Read, 200) != 1) continue;
    uint32_t ip = 0;
    uint16_t port = 0;
    int n = sock::RecvFrom(h, buffer, sizeof buffer, &ip, &port);
    if (stop_) break;
    if (n != 8) continue;  // other lengths and failed receives are ignored
    auto le32 = [&](int at) {
      uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(buffer[at + i])) << (8 * i);
      return v;
    };
    const uint32_t stamp = le32(0), tag = le32(4);
    const uint32_t elapsed = Elapsed(MillisecondTicks(), stamp);
    TEchoHandler handler;
    {
      std::lock_guard<std::mutex> guard(handlerLock_);
      handler = onEcho_;
    }
    if (handler) handler(sock::FormatIpv4(ip), elapsed, tag);
  }
}

}  // namespace lg
