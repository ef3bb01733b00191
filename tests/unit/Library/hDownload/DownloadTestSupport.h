// Helpers shared by the downloader's tests: deterministic bodies, a ranged
// reply, the event recorder and the owner's loop, and the two transfer
// modes every fault test runs in.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/THttpDownload.h"
#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace lg::test::download {

inline constexpr int64_t KiB = 1024;
inline constexpr int64_t MiB = 1024 * KiB;

inline std::string Body(size_t size, uint32_t seed) {
  std::string data(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    data[i] = static_cast<char>(x >> 24);
  }
  return data;
}

inline THttpReply Ranged(const std::string& body) {
  THttpReply r = THttpReply::Text(body);
  r.honourRanges = true;
  r.headers.emplace_back("Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT");
  return r;
}

// Start of "Bytes=a-b", -1 for requests without a range.
inline int64_t RangeStartOf(const TRecordedRequest& r) {
  const std::string v = r.Header("Range");
  if (v.size() < 7) return -1;
  return ParseInt64(v.substr(6, v.find('-') - 6), -1);
}

// Keeps the largest value stored: workers report their counts from
// several threads, and a smaller count can arrive after a larger one.
inline void StoreMax(std::atomic<int64_t>& to, int64_t value) {
  int64_t seen = to.load();
  while (value > seen && !to.compare_exchange_weak(seen, value)) {
  }
}

// Records the events of one download, as the update thread does.
struct TRecorder {
  std::atomic<int> completes{0}, fails{0};
  std::atomic<int64_t> received{0}, written{0};
  void Wire(THttpDownload& d) {
    d.OnComplete = [this](THttpDownload&) { ++completes; };
    d.OnFailed = [this](THttpDownload&) { ++fails; };
    d.OnReceive = [this](THttpDownload&, uint32_t, int64_t done, int64_t) { StoreMax(received, done); };
    d.OnWrite = [this](THttpDownload&, uint32_t, int64_t done, int64_t) { StoreMax(written, done); };
  }
  bool Ended() const { return completes + fails > 0; }
};

// The owner's loop: CheckTimeout every 10 ms until an event ends it.
inline bool RunToEnd(THttpDownload& d, TRecorder& r, int limitMs = 60000) {
  const uint32_t start = plat::TickCount();
  while (!r.Ended()) {
    if (plat::TickCount() - start > static_cast<uint32_t>(test::ScaledMs(limitMs))) return false;
    d.CheckTimeout();
    plat::SleepMs(10);
  }
  return true;
}

// The transfer modes: Default as written, Pipelined with a pool of kept
// connections (and a server that keeps them open).
enum class TMode { Default, Pipelined };

inline const char* ModeName(TMode m) {
  return m == TMode::Default ? "Default" : "Pipelined";
}

// Puts `d` (and `server`) into `mode`; the pool is returned so a test can
// share it between downloads.
inline std::shared_ptr<TConnectionPool> UseMode(TMode mode, THttpDownload& d, THttpTestServer& server,
                                                std::shared_ptr<TConnectionPool> pool = nullptr) {
  if (mode == TMode::Default) return nullptr;
  if (!pool) pool = std::make_shared<TConnectionPool>();
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  d.SetPipelined(pool);
  return pool;
}

}  // namespace lg::test::download
