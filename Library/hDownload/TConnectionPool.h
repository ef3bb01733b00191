// TConnectionPool: the idle kept-alive connections of the pipelined
// transfer mode, keyed by "host:port", so that the next range of a file, or
// the next file of a pass on the same host, skips the TCP handshake. A
// connection comes back only after a whole answer was read from it, and
// serves at most kMaxRequests requests.
//
// Threads: any thread (a lock guards the list); never held during I/O. The
// connections inside belong to nobody until taken. Shared (shared_ptr) by
// the downloads of a pass and their workers; destroying it closes what is
// left.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Library/hDownload/TBlockSocket.h"

namespace lg {

class TConnectionPool {
 public:
  static constexpr int kMaxRequests = 100;
  // Idle connections kept per host: one per worker of the downloads a
  // pipelined sweep runs side by side, and a few more.
  static constexpr size_t kMaxIdlePerHost = 12;

  struct TLease {
    std::unique_ptr<TBlockSocket> socket;  // null: nothing idle for that host
    int requests = 0;                      // requests it has carried so far
  };

  // The connection to host:port given back last, or an empty lease.
  TLease Take(const std::string& host, int port);
  // Keeps `socket` for the next request to host:port, unless it has carried
  // its share of requests or enough connections wait already (then it is
  // closed).
  void Give(const std::string& host, int port, std::unique_ptr<TBlockSocket> socket, int requests);
  size_t IdleCount() const;

 private:
  static std::string Key(const std::string& host, int port);

  mutable std::mutex lock_;
  std::map<std::string, std::vector<TLease>> idle_;  // guarded by lock_
};

}  // namespace lg
