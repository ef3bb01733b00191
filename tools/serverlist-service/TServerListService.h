// The operator's server-list service: answers every command-1 request (for
// its game id, or any when none is set) with the server list in one
// command-129 frame, sent as datagrams of at most 4096 bytes back to the
// requester. The list file is checked when loaded and reloaded when its
// time stamp or size changes (looked at before each answer); a changed file
// that fails the check is reported and the previous list stays in service.
//
// Threads: one thread drives the service (Open, Poll/Run); Run ends within
// about 200 ms of the stop flag being set. Port, Answered and ListSize may
// be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/OperatorServices.h"
#include "common/Socket.h"

namespace lg {

struct TServerListServiceOptions {
  std::string listPath;  // the UTF-8 JSON server list
  std::string bindIp = "127.0.0.1";
  uint16_t port = ops::kServerListPort;
  std::optional<int32_t> hubId;  // answer only this game id
};

class TServerListService {
 public:
  static constexpr int kDatagramSize = 4096;
  static constexpr int kWaitSliceMs = 200;
  using TLogger = std::function<void(const std::string& line)>;

  // `log` defaults to standard error.
  explicit TServerListService(TServerListServiceOptions options, TLogger log = {});
  ~TServerListService();
  TServerListService(const TServerListService&) = delete;
  TServerListService& operator=(const TServerListService&) = delete;

  // Reads and checks the list; false with `error` naming the problem.
  bool Load(std::string& error);
  // Binds the UDP socket; false with `error`.
  bool Open(std::string& error);
  // The bound port (0 before Open).
  uint16_t Port() const { return port_.load(); }

  // Waits up to `waitMs` for one datagram and answers it when it is a
  // request. True when a datagram was handled.
  bool Poll(int waitMs);
  // Polls in slices of 200 ms until `stop` is set.
  void Run(const std::atomic<bool>& stop);

  size_t Answered() const { return answered_.load(); }
  size_t ListSize() const;

 private:
  void ReloadIfChanged();
  void Answer(uint32_t ip, uint16_t port);
  void Log(const std::string& line) const;

  TServerListServiceOptions options_;
  TLogger log_;
  sock::Handle socket_ = sock::kInvalid;
  std::atomic<uint16_t> port_{0};
  std::atomic<size_t> answered_{0};

  mutable std::mutex listLock_;  // guards payload_ for ListSize
  std::string payload_;          // GBK server list
  int64_t stamp_ = 0;
  int64_t size_ = -1;
};

}  // namespace lg
