// Assembles the server-list service's reply from datagrams. The owner (the
// main window) empties it before each request and feeds it every datagram
// of its UDP socket; each complete command-129 frame's payload is handed to
// `OnServerList`. Frames stay in the buffer: every datagram rescans from the
// start, so a complete frame is handed on again with each later datagram
// until the next request clears the buffer (handlers rebuild their lists
// from scratch each time, so this is harmless).
//
// The buffer holds 1 MiB. Bytes of a datagram that would pass its end are
// dropped (never written past it); such a reply is incomplete and simply
// waits for the next request.
//
// Threads: used by one thread at a time (the UDP socket's worker); Clear
// may be called from the owner between requests under its own ordering.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lg {

class TServerListReply {
 public:
  static constexpr size_t kBufferSize = 1 << 20;

  TServerListReply() { buffer_.reserve(4096); }

  void Clear() {
    buffer_.clear();
    ++generation_;
  }
  // Appends the datagram and hands on every complete command-129 frame.
  void Append(const void* data, size_t size);
  size_t Buffered() const { return buffer_.size(); }
  size_t Dropped() const { return dropped_; }

  // Called with a copy of each command-129 payload (GBK text). It may call
  // Clear; the scan then ends.
  std::function<void(const std::string&)> OnServerList;

 private:
  std::string buffer_;
  size_t dropped_ = 0;
  unsigned generation_ = 0;
};

}  // namespace lg
