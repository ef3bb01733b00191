// A UDP endpoint talking to one remote host and port (the server-list
// service): data queued from any thread leaves from the worker, and every
// datagram that arrives is handed to OnReceive on the worker.
//
// What the peer sees: small queued messages travel together in one datagram
// of at most 4096 bytes; a message longer than that leaves as datagrams of
// 4096 bytes and a shorter last one. Messages therefore carry their own
// framing.
//
// Threads: SendBuffer from any thread (the queue lock); OnReceive runs on the
// worker, with a buffer that stays valid only during the call. The staging
// and receive buffers and the remote address belong to the worker. The queue
// is freed only after the worker has ended.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "net/udp/TCustomUDPSocket.h"

namespace lg {

// Source address (network order), source port (host order), the datagram
// (followed by a zero byte) and its length.
using TUDPReceiveEvent = std::function<void(uint32_t ip, uint16_t port, const char* data, int length)>;

class TUDPClientSocket : public TCustomUDPSocket {
 public:
  static constexpr int kMaxSendLength = 0x20000;
  static constexpr int kDatagramSize = 4096;

  // Starts the worker; the socket is closed.
  TUDPClientSocket();
  ~TUDPClientSocket() override;

  // Queues `length` bytes when the length is 1..131072 and the socket is
  // open, and returns the length; otherwise returns 0. With `owned` the
  // queue takes `data` (allocated with new uint8_t[]) and frees it after
  // sending, also when it is refused; without, the bytes are copied. Does
  // not wake the worker: the next round (within about 5 ms) sends it.
  int SendBuffer(uint8_t* data, int length, bool owned);
  // The copying form for read-only data.
  int SendBuffer(const void* data, int length);

  // Unset: nothing is read from the socket.
  void SetOnReceive(TUDPReceiveEvent handler);

 protected:
  void SetActive(bool active) override;
  bool Process() override;

 private:
  struct TSendNode {
    std::unique_ptr<uint8_t[]> data;
    int length;
  };

  void MoveQueueToStaging();
  void SendStaged();
  void ReceiveOne();

  std::mutex queueLock_;  // guards queue_; never held with socketLock_
  std::deque<TSendNode> queue_;

  std::mutex receiveHandlerLock_;
  TUDPReceiveEvent onReceive_;

  // Worker only.
  uint32_t remoteIp_ = 0;
  uint16_t remotePort_ = 0;
  std::vector<uint8_t> staging_;
  int staged_ = 0;
  char receiveBuffer_[kDatagramSize + 1] = {};
};

}  // namespace lg
