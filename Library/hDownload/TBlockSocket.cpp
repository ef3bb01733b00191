#include "Library/hDownload/TBlockSocket.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "common/Gbk.h"
#include "common/Platform.h"

namespace lg {
namespace {

constexpr int kMaxAddresses = 21;
constexpr int kWaitSliceMs = 100;
constexpr int kInvalidArgument = 10022;  // WSAEINVAL
constexpr int kHostNotFound = 11001;     // WSAHOST_NOT_FOUND

uint32_t RandomBelow(uint32_t n) {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<uint32_t>(0, n - 1)(generator);
}

}  // namespace

void SocketLibraryStartup() {
  if (sock::LibraryStartup() != 0) throw std::runtime_error("WSAStartup Error.");
}

void SocketLibraryCleanup() {
  if (sock::LibraryCleanup() != 0) throw std::runtime_error("WSACleanup Error.");
}

TBlockSocket::TBlockSocket() : buffer_(new char[kBufferSize]) {}

TBlockSocket::~TBlockSocket() {
  CloseSocket();
  delete[] buffer_;
}

int TBlockSocket::Check(int result) {
  lastError_ = 0;
  lastErrorText_.clear();
  if (result == sock::kSocketError) RecordError(sock::LastError());
  return result;
}

void TBlockSocket::RecordError(int code) {
  lastError_ = code;
  if (code == sock::kWouldBlock || code == sock::kInProgress) return;
  lastErrorText_ = code == kInterruptedError ? std::to_string(code) + ":Interrupted" : sock::ErrorText(code);
  plat::DebugOutput(lastErrorText_);
}

uint32_t TBlockSocket::Resolve(const std::string& host) {
  uint32_t ip = sock::ParseIpv4(host);
  if (ip != sock::kAddrNone) return ip;
  std::vector<uint32_t> all = sock::ResolveIpv4(host);
  if (all.empty()) return sock::kAddrNone;
  // Spreads the connections of a host with several addresses over them.
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(all.size(), kMaxAddresses));
  return all[RandomBelow(n)];
}

bool TBlockSocket::Connect(const std::string& host, int port, int timeoutMs) {
  unread_ = 0;
  readPos_ = 0;
  pendingLf_ = false;
  if (host.empty() || port < 1 || port > 65535) {
    RecordError(kInvalidArgument);
    return false;
  }
  // The result of closing the previous connection does not matter: a peer
  // that reset it makes the shutdown fail, and the handle is released anyway.
  CloseSocket();
  interrupted_ = false;
  if (aborted_) {
    RecordError(kInterruptedError);
    return false;
  }
  sock::Handle h = sock::Open(sock::Kind::Stream);
  if (h == sock::kInvalid) {
    Check(sock::kSocketError);
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(handleLock_);
    socket_ = h;
  }
  const uint32_t ip = Resolve(host);
  if (ip == sock::kAddrNone) {
    CloseSocket();
    RecordError(kHostNotFound);
    return false;
  }
  peerText_ = sock::FormatIpv4(ip) + ":" + std::to_string(port);
  plat::DebugOutput(Gbk("连接到 ") + peerText_);

  if (Check(sock::SetNonBlocking(h, true)) != 0 || Check(sock::SetTimeouts(h, kIoTimeoutMs, kIoTimeoutMs)) != 0) {
    CloseSocket();
    return false;
  }
  Check(sock::Connect(h, ip, static_cast<uint16_t>(port)));
  if (lastError_ == 0 || lastError_ == sock::kWouldBlock || lastError_ == sock::kInProgress) {
    if (Wait(sock::Wait::Write, timeoutMs)) {
      // Writability also signals a failed connect: a refused one fails now
      // instead of at the first receive.
      const int pending = sock::PendingConnectError(h);
      if (pending != 0) {
        RecordError(pending);
      } else if (Check(sock::SetNonBlocking(h, false)) == 0) {
        connected_ = true;
        return true;
      }
    }
  }
  const int code = lastError_;
  const std::string text = lastErrorText_;
  CloseSocket();
  lastError_ = code;  // keep the reason of the failure, not the close's
  lastErrorText_ = text;
  return false;
}

bool TBlockSocket::CloseSocket() {
  bool ok = true;
  if (socket_ != sock::kInvalid) {
    sock::Handle old;
    {
      std::lock_guard<std::mutex> guard(handleLock_);
      old = socket_;
      socket_ = sock::kInvalid;
    }
    ok = Check(sock::ShutdownBoth(old)) != sock::kSocketError;
    sock::Close(old);
  }
  connected_ = false;
  return ok;
}

bool TBlockSocket::TakeConnection(TBlockSocket& from) {
  CloseSocket();
  sock::Handle h;
  {
    std::lock_guard<std::mutex> guard(from.handleLock_);
    h = from.socket_;
    from.socket_ = sock::kInvalid;
  }
  if (from.unread_ > 0) std::memcpy(buffer_, from.buffer_ + from.readPos_, static_cast<size_t>(from.unread_));
  unread_ = from.unread_;
  readPos_ = 0;
  pendingLf_ = from.pendingLf_;
  peerText_ = from.peerText_;
  connected_ = from.connected_ && h != sock::kInvalid;
  from.unread_ = 0;
  from.readPos_ = 0;
  from.pendingLf_ = false;
  from.connected_ = false;
  interrupted_ = false;
  {
    std::lock_guard<std::mutex> guard(handleLock_);
    socket_ = h;
  }
  // An Abort before the handle was published found nothing to shut down.
  if (aborted_ || !connected_) {
    CloseSocket();
    RecordError(kInterruptedError);
    return false;
  }
  return true;
}

void TBlockSocket::Interrupt() {
  interrupted_ = true;
  std::lock_guard<std::mutex> guard(handleLock_);
  // Wakes a blocked select, recv or send; the owner closes the handle.
  if (socket_ != sock::kInvalid) sock::ShutdownBoth(socket_);
}

void TBlockSocket::Abort() {
  aborted_ = true;
  Interrupt();
}

bool TBlockSocket::Wait(sock::Wait what, int timeoutMs) {
  const uint32_t start = plat::TickCount();
  for (;;) {
    if (IsInterrupted()) {
      RecordError(kInterruptedError);
      return false;
    }
    int slice = kWaitSliceMs;
    if (timeoutMs >= 0) {
      const uint32_t elapsed = plat::TickCount() - start;
      const uint32_t left = elapsed >= static_cast<uint32_t>(timeoutMs) ? 0 : timeoutMs - elapsed;
      slice = static_cast<int>(std::min<uint32_t>(kWaitSliceMs, left));
    }
    const int r = Check(sock::Select(socket_, what, slice));
    if (r == sock::kSocketError) return false;
    if (r > 0 && !IsInterrupted()) return true;
    if (r == 0 && timeoutMs >= 0 && plat::TickCount() - start >= static_cast<uint32_t>(timeoutMs)) {
      RecordError(sock::kTimedOut);
      return false;
    }
  }
}

bool TBlockSocket::CanRead(int timeoutMs) {
  return Wait(sock::Wait::Read, timeoutMs);
}

bool TBlockSocket::CanWrite(int timeoutMs) {
  return Wait(sock::Wait::Write, timeoutMs);
}

int TBlockSocket::RawReceive(char* into, int count) {
  if (!connected_) return 0;
  // Bytes that are already there are taken without a readiness wait; the
  // wait (with its time-out and interrupt checks) only when none are.
  if (!IsInterrupted()) {
    const int ready = Check(sock::RecvReady(socket_, into, count));
    if (ready != sock::kSocketError || lastError_ != sock::kWouldBlock) return UnlessInterrupted(ready);
  }
  if (!CanRead(kIoTimeoutMs)) return 0;
  return UnlessInterrupted(Check(sock::Recv(socket_, into, count)));
}

int TBlockSocket::UnlessInterrupted(int received) {
  if (received >= 0 && IsInterrupted()) {
    RecordError(kInterruptedError);
    return sock::kSocketError;
  }
  return received;
}

int TBlockSocket::SendBuffer(const void* data, uint16_t length) {
  if (!connected_) return 0;
  int r = Check(sock::Send(socket_, data, length));
  if (r == sock::kSocketError && lastError_ == sock::kWouldBlock && CanWrite(kResendWaitMs))
    r = Check(sock::Send(socket_, data, length));
  return r;
}

int TBlockSocket::SendString(const std::string& text) {
  // One call sends at most 65535 bytes; a longer text is a short send that
  // the caller sees by comparing the count.
  const size_t n = std::min<size_t>(text.size(), 65535);
  return SendBuffer(text.data(), static_cast<uint16_t>(n));
}

void TBlockSocket::Compact() {
  if (readPos_ > 0) {
    if (unread_ > 0) std::memmove(buffer_, buffer_ + readPos_, unread_);
    readPos_ = 0;
  }
}

void TBlockSocket::Consume(int count) {
  unread_ -= count;
  readPos_ += count;
  if (unread_ <= 0) {
    unread_ = 0;
    readPos_ = 0;
  }
}

void TBlockSocket::DropPendingLf() {
  if (pendingLf_ && unread_ > 0) {
    pendingLf_ = false;
    if (buffer_[readPos_] == '\n') Consume(1);
  }
}

int TBlockSocket::RecvBuffer(int wanted, const char** block) {
  const int effective = (wanted < 1 || wanted > kBufferSize) ? kBufferSize : wanted;
  DropPendingLf();
  if (unread_ < effective) {
    Compact();
    const int r = RawReceive(buffer_ + unread_, kBufferSize - unread_);
    if (r > 0) unread_ += r;
    DropPendingLf();
  }
  *block = buffer_ + readPos_;
  if (unread_ < effective) {
    const int n = unread_;
    unread_ = 0;
    readPos_ = 0;
    return n;
  }
  Consume(effective);
  return effective;
}

int TBlockSocket::RecvInto(char* into, int count) {
  if (count < 1) return 0;
  DropPendingLf();
  if (unread_ > 0) {
    const int n = std::min(count, unread_);
    std::memcpy(into, buffer_ + readPos_, static_cast<size_t>(n));
    Consume(n);
    return n;
  }
  // A line's LF still in transit must be dropped on the way: the buffer's
  // path knows how.
  if (pendingLf_) {
    const char* block = nullptr;
    const int n = RecvBuffer(std::min(count, kBufferSize), &block);
    if (n > 0) std::memcpy(into, block, static_cast<size_t>(n));
    return n;
  }
  const int r = RawReceive(into, count);
  return r > 0 ? r : 0;
}

bool TBlockSocket::ReadLine(std::string& line, TLineEnds ends) {
  line.clear();
  for (;;) {
    DropPendingLf();
    const char* start = buffer_ + readPos_;
    const char* end = start + unread_;
    const char* hit = std::find_if(start, end, [](char c) { return c == '\r' || c == '\n'; });
    const bool crLast = hit != end && *hit == '\r' && hit + 1 == end;
    if (hit != end && !(crLast && ends == TLineEnds::Strict)) {
      const int n = static_cast<int>(hit - start);
      int used = n + 1;
      if (*hit == '\r') {
        if (n + 1 < unread_) {
          if (hit[1] == '\n') {
            used = n + 2;
          } else if (ends == TLineEnds::Strict) {
            lastError_ = kBadLineEnd;
            lastErrorText_ = std::to_string(kBadLineEnd) + ":a CR without LF in a line";
            plat::DebugOutput(lastErrorText_);
            return false;
          }
        } else {
          pendingLf_ = true;  // the LF, if any, has not arrived yet
        }
      }
      line.assign(start, n);
      Consume(used);
      return true;
    }
    Compact();
    if (unread_ >= kBufferSize) {
      RecordError(sock::kMessageSize);  // no terminator in a full buffer
      return false;
    }
    const int r = RawReceive(buffer_ + unread_, kBufferSize - unread_);
    if (r <= 0) return false;  // time-out, error, or the peer closed mid-line (no error code)
    unread_ += r;
  }
}

}  // namespace lg
