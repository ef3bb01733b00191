// Receives 8-byte echo datagrams (a millisecond stamp and a tag) on a UDP
// port of its own and reports the round trip through OnEcho. Nothing in the
// launcher sends probes; an outside sender sends them from this port.
//
// Threads: the echo handler runs on the probe's worker thread and may be
// set from any thread (the server list sets itself as the receiver after the
// probe exists). The destructor stops the worker within about 200 ms, then
// closes the socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/Event.h"
#include "common/Socket.h"

namespace lg {

// The process-wide millisecond counter probes are stamped with. Differences
// are taken in unsigned 32-bit arithmetic and survive the wrap-around.
uint32_t MillisecondTicks();

class TUDPEchoServer {
 public:
  static constexpr int kReopenPauseMs = 20000;

  explicit TUDPEchoServer(uint16_t localPort);
  ~TUDPEchoServer();
  TUDPEchoServer(const TUDPEchoServer&) = delete;
  TUDPEchoServer& operator=(const TUDPEchoServer&) = delete;

  // The bound port once the socket is open (the asked port before).
  uint16_t LocalPort() const { return localPort_.load(); }
  bool IsOpen() const;

  // Source address (dotted text), elapsed milliseconds, tag.
  using TEchoHandler = std::function<void(const std::string&, uint32_t, uint32_t)>;
  void SetOnEcho(TEchoHandler handler);

  // The elapsed time an echo with this stamp reports at tick `now`.
  static uint32_t Elapsed(uint32_t now, uint32_t stamp) { return now - stamp; }

 private:
  void Run();
  bool OpenSocket();

  std::atomic<uint16_t> localPort_;
  std::mutex handlerLock_;
  TEchoHandler onEcho_;
  mutable std::mutex socketLock_;
  sock::Handle socket_ = sock::kInvalid;
  std::atomic<bool> stop_{false};
  TEvent wake_;
  std::thread thread_;
};

}  // namespace lg
