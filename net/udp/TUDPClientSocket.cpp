#include "net/udp/TUDPClientSocket.h"

#include <cstring>
#include <random>

namespace lg {
namespace {

constexpr int kInterrupted = 10004;  // WSAEINTR

// Picks among the resolved addresses: the first with chance 1/2, the second
// 1/4, ..., the last takes the rest, so clients spread over a service's
// addresses while the first stays preferred.
uint32_t PickAddress(const std::vector<uint32_t>& list) {
  thread_local std::mt19937 random{std::random_device{}()};
  size_t i = 0;
  while (i + 1 < list.size() && (random() & 1) == 0) ++i;
  return list[i];
}

}  // namespace

TUDPClientSocket::TUDPClientSocket() : staging_(kMaxSendLength) {
  StartWorker();
}

TUDPClientSocket::~TUDPClientSocket() {
  StopWorker();
  // queue_ and its lock go with the members, after the worker has ended.
}

int TUDPClientSocket::SendBuffer(uint8_t* data, int length, bool owned) {
  std::unique_ptr<uint8_t[]> taken(owned ? data : nullptr);
  if (length < 1 || length > kMaxSendLength || !IsOpen() || data == nullptr) return 0;
  TSendNode node{std::move(taken), length};
  if (!owned) {
    node.data.reset(new uint8_t[length]);
    std::memcpy(node.data.get(), data, static_cast<size_t>(length));
  }
  std::lock_guard<std::mutex> guard(queueLock_);
  queue_.push_back(std::move(node));
  return length;
}

int TUDPClientSocket::SendBuffer(const void* data, int length) {
  return SendBuffer(static_cast<uint8_t*>(const_cast<void*>(data)), length, false);
}

void TUDPClientSocket::SetOnReceive(TUDPReceiveEvent handler) {
  std::lock_guard<std::mutex> guard(receiveHandlerLock_);
  onReceive_ = std::move(handler);
}

void TUDPClientSocket::SetActive(bool active) {
  if (!active) {
    std::lock_guard<std::mutex> guard(socketLock_);
    if (socket_ != sock::kInvalid) sock::Close(socket_);
    socket_ = sock::kInvalid;
    return;
  }

  sock::Handle handle = sock::Open(sock::Kind::Datagram);
  if (handle == sock::kInvalid) {
    ReportError(sock::LastError());
    return;
  }
  std::string host = Host();
  int port = Port();
  uint32_t ip = sock::ParseIpv4(host);
  if (ip == sock::kAddrNone) {
    // An empty host names nothing (some resolvers answer it with the local
    // machine).
    std::vector<uint32_t> list;
    if (!host.empty()) list = sock::ResolveIpv4(host);
    if (list.empty()) {
      // The new handle is not kept: the next attempt makes another.
      sock::Close(handle);
      int code = sock::LastError();
      ReportError(code != 0 ? code : kHostNotFound);
      return;
    }
    ip = PickAddress(list);
  }
  sock::SetNonBlocking(handle, true);
  remoteIp_ = ip;
  remotePort_ = static_cast<uint16_t>(port);
  // Not bound explicitly: the system binds it on the first send.
  PublishSocket(handle);
}

bool TUDPClientSocket::Process() {
  MoveQueueToStaging();
  if (Terminated()) return true;
  SendStaged();
  ReceiveOne();
  return true;
}

void TUDPClientSocket::MoveQueueToStaging() {
  std::lock_guard<std::mutex> guard(queueLock_);
  while (!queue_.empty()) {
    if (Terminated()) return;
    TSendNode& head = queue_.front();
    // A message joins staged bytes only while the datagram stays within
    // 4096 bytes; a longer one waits until the staging buffer is empty.
    if (staged_ > 0 && staged_ + head.length > kDatagramSize) break;
    std::memcpy(staging_.data() + staged_, head.data.get(), static_cast<size_t>(head.length));
    staged_ += head.length;
    queue_.pop_front();
  }
}

void TUDPClientSocket::SendStaged() {
  if (staged_ <= 0) return;
  int size = staged_ < kDatagramSize ? staged_ : kDatagramSize;
  int sent;
  int error = 0;
  {
    std::lock_guard<std::mutex> guard(socketLock_);
    if (socket_ == sock::kInvalid) return;
    sent = sock::SendTo(socket_, staging_.data(), size, remoteIp_, remotePort_);
    if (sent < 0) {
      error = sock::LastError();
      if (error == sock::kWouldBlock || error == kInterrupted) {
        error = 0;  // the staged bytes go out next round
      } else {
        // Reopen after the spacing; the staged bytes wait for it.
        sock::Close(socket_);
        socket_ = sock::kInvalid;
        wantOpen_.store(true);
      }
    }
  }
  if (sent > 0) {
    staged_ -= sent;
    std::memmove(staging_.data(), staging_.data() + sent, static_cast<size_t>(staged_));
  }
  if (error != 0) ReportError(error);
}

void TUDPClientSocket::ReceiveOne() {
  TUDPReceiveEvent handler;
  {
    std::lock_guard<std::mutex> guard(receiveHandlerLock_);
    handler = onReceive_;
  }
  if (!handler) return;
  uint32_t ip = 0;
  uint16_t port = 0;
  int length;
  {
    std::lock_guard<std::mutex> guard(socketLock_);
    if (socket_ == sock::kInvalid) return;
    length = sock::RecvFrom(socket_, receiveBuffer_, kDatagramSize, &ip, &port);
  }
  // Failed reads (would-block above all) and empty datagrams are ignored.
  if (Terminated() || length < 1) return;
  receiveBuffer_[length] = 0;
  handler(ip, port, receiveBuffer_, length);
}

}  // namespace lg
