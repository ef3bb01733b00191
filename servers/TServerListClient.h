// The launcher's side of the server-list exchange: finds the service's
// address at start, sends the request for the deployment's game id through
// a UDP socket of its own, and assembles the reply, handing each complete
// server list (GBK JSON text) to OnServerList.
//
// Threads: Start, Request and the destructor belong to the owner (the main
// window's thread). OnServerList runs on the UDP socket's worker and may be
// set at any time. The reply buffer belongs to the worker alone; Request
// only marks it for emptying, which the worker does before it reads the
// next datagram. The socket is destroyed first, so the worker has ended
// before anything it uses goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "net/udp/TUDPClientSocket.h"
#include "servers/TServerListReply.h"

namespace lg {

// Every address of a host name (none when it does not resolve).
using THostListResolver = std::function<void(const std::string& host, std::vector<std::string>& list)>;
// One diagnostic line (the debugger output channel by default).
using TLogEvent = std::function<void(const std::string& line)>;

// Logs one "IPlist id=%d-%d, ip=%s" line per resolved address (last index
// first), picks one with equal chance (the fallback when there is none) and
// logs "init UDP ip=%s" with it.
std::string ChooseServiceAddress(const std::vector<std::string>& resolved, const std::string& fallbackIp,
                                 std::mt19937& random, const TLogEvent& log);

class TServerListClient {
 public:
  using TServerListEvent = std::function<void(const std::string& text)>;

  // `resolver` defaults to the system resolver, `log` to the debugger
  // output channel. `log` is called on the owner's thread only.
  explicit TServerListClient(THostListResolver resolver = {}, TLogEvent log = {});
  ~TServerListClient();
  TServerListClient(const TServerListClient&) = delete;
  TServerListClient& operator=(const TServerListClient&) = delete;

  // Resolves the deployment's server-list host and opens the socket to one
  // of its addresses (the deployment's fallback address when it has none).
  void Start();
  // The same for a given host, fallback and port (tools and tests).
  void Start(const std::string& host, const std::string& fallbackIp, uint16_t port);
  // The chosen service address (dotted), empty before Start.
  std::string ServiceIp() const;
  bool IsOpen() const { return socket_.IsOpen(); }

  // Empties the reply buffer and queues the 12-byte request for the game id
  // `hubId` (decimal text). False, with one log line, when the text is not a
  // decimal 32-bit number or the socket is not open: nothing is sent then.
  bool Request(const std::string& hubId);

  void SetOnServerList(TServerListEvent handler);

 private:
  void Received(const char* data, int length);

  THostListResolver resolver_;
  TLogEvent log_;
  std::mt19937 random_;
  mutable std::mutex ipLock_;
  std::string serviceIp_;

  std::atomic<bool> clearPending_{false};
  TServerListReply reply_;  // worker only
  std::mutex handlerLock_;
  TServerListEvent onServerList_;

  // Last: destroyed first, which ends the worker.
  TUDPClientSocket socket_;
};

}  // namespace lg
