// TBlockSocket: the one kind of TCP client connection of the launcher. Each
// HTTP exchange (a document fetch or a download worker) owns one and drives it
// from one thread at a time: connect with a time-out, send byte blocks, and
// receive through the object's own 9216-byte buffer, either as raw blocks
// (pointers into the buffer, valid until the next receive call) or as text
// lines for the status line and headers.
//
// Every failed socket call leaves LastError (a Windows Sockets code on every
// platform) and LastErrorText ("code:message") and writes that text to the
// debug output.
//
// Threads: one owner thread at a time calls everything except Interrupt and
// Abort, which any thread may call to make a blocked connect, wait, send or
// receive of the owner return with an error. They shut the connection down
// but leave releasing the handle to the owner (its next Connect, CloseSocket
// or the destructor), so a handle number can never be reused by another
// socket while the owner is still blocked on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/Socket.h"

namespace lg {

// Once per process, before and after all network use. Both throw
// std::runtime_error ("WSAStartup Error.", "WSACleanup Error.") when the
// system refuses.
void SocketLibraryStartup();
void SocketLibraryCleanup();

class TBlockSocket {
 public:
  static constexpr int kBufferSize = 9216;
  static constexpr int kIoTimeoutMs = 6000;        // socket options and the wait before each receive
  static constexpr int kResendWaitMs = 5000;       // wait for writability before the one resend
  static constexpr int kInterruptedError = 10004;  // WSAEINTR: cut short by Interrupt or Abort
  static constexpr int kBadLineEnd = 10022;        // WSAEINVAL: a CR not followed by LF (strict lines)

  // How ReadLine takes a CR. HTTP text is read Strict: a CR ends a line only
  // together with the LF after it, so a lone CR can never end the header
  // block early or split one header line into two.
  enum class TLineEnds { Any, Strict };

  TBlockSocket();
  ~TBlockSocket();
  TBlockSocket(const TBlockSocket&) = delete;
  TBlockSocket& operator=(const TBlockSocket&) = delete;

  // Closes any previous connection, discards unread bytes, then connects.
  bool Connect(const std::string& host, int port, int timeoutMs);
  // False only when the shutdown call failed; the socket is closed anyway.
  bool CloseSocket();
  // Closes any previous connection and continues `from`'s (its handle,
  // peer and unread bytes); `from` is left closed. Both belong to the
  // calling thread. False, closing it, when this socket was aborted: a kept
  // connection must not outlive a stop request.
  bool TakeConnection(TBlockSocket& from);

  // Bytes sent, 0 when not connected, -1 on failure.
  int SendBuffer(const void* data, uint16_t length);
  int SendString(const std::string& text);

  // Hands out up to `wanted` bytes (9216 when wanted < 1 or > 9216) as a
  // contiguous block in the buffer; 0 on time-out, close or error.
  int RecvBuffer(int wanted, const char** block);
  // Up to `count` bytes straight into `into`: the bytes the buffer already
  // holds first, otherwise one receive from the connection, so a large body
  // skips the copy through the buffer. 0 on time-out, close or error.
  int RecvInto(char* into, int count);
  // One line without its terminator (CR LF, a bare LF or a bare CR). Strict:
  // CR LF or a bare LF; a CR followed by anything else fails the read with
  // kBadLineEnd, and a CR that is the last byte so far waits for the next.
  bool ReadLine(std::string& line, TLineEnds ends = TLineEnds::Any);

  // select-based waits; -1 waits without limit (still cut short by Interrupt).
  bool CanRead(int timeoutMs);
  bool CanWrite(int timeoutMs);

  // Any thread: makes the owner's current blocked or next call on this
  // connection fail. The next Connect starts afresh.
  void Interrupt();
  // Any thread: as Interrupt, and every later Connect fails at once too.
  void Abort();
  bool Aborted() const { return aborted_.load(); }

  int LastError() const { return lastError_; }
  const std::string& LastErrorText() const { return lastErrorText_; }
  const std::string& PeerText() const { return peerText_; }
  bool Connected() const { return connected_; }
  int UnreadCount() const { return unread_; }

 private:
  // Result check: clears the error, records the platform's code when the
  // call returned SOCKET_ERROR, and passes the result through.
  int Check(int result);
  void RecordError(int code);
  uint32_t Resolve(const std::string& host);
  // Waits in short slices so an interrupt is noticed even where shutting a
  // socket down does not wake select.
  bool Wait(sock::Wait what, int timeoutMs);
  int RawReceive(char* into, int count);
  // A receive's result, or an error when an interrupt came during it: bytes
  // that arrived after an abort are not handed out.
  int UnlessInterrupted(int received);
  void Compact();
  void Consume(int count);
  void DropPendingLf();
  bool IsInterrupted() const { return interrupted_.load() || aborted_.load(); }

  // Guards socket_ against the cross-thread shutdown; never held during I/O.
  std::mutex handleLock_;
  sock::Handle socket_ = sock::kInvalid;
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> aborted_{false};

  int lastError_ = 0;
  std::string lastErrorText_;
  std::string peerText_;
  bool connected_ = false;
  char* buffer_;
  int readPos_ = 0;
  int unread_ = 0;
  // A line ended by a CR that was the last byte received so far: its LF may
  // still be in transit and is dropped when it arrives.
  bool pendingLf_ = false;
};

}  // namespace lg
