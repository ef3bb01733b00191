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

  TBlockSocket();
  ~TBlockSocket();
  TBlockSocket(const TBlockSocket&) = delete;
  TBlockSocket& operator=(const TBlockSocket&) = delete;

  // Closes any previous connection, discards unread bytes, then connects.
  bool Connect(const std::string& host, int port, int timeoutMs);
  // False only when the shutdown call failed; the socket is closed anyway.
  bool CloseSocket();

  // Bytes sent, 0 when not connected, -1 on failure.
  int SendBuffer(const void* data, uint16_t length);
  int SendString(const std::string& text);

  // Hands out up to `wanted` bytes (9216 when wanted < 1 or > 9216) as a
  // contiguous block in the buffer; 0 on time-out, close or error.
  int RecvBuffer(int wanted, const char** block);
  // One line without its terminator (CR LF, a bare LF or a bare CR).
  bool ReadLine(std::string& line);

  // select-based waits; -1 waits without limit (still cut short by Interrupt).
  bool CanRead(int timeoutMs);
  bool CanWrite(int timeoutMs);

  // Any thread: makes the owner's current blocked or next call on this
  // connection fail. The next Connect starts afresh.
  void Interrupt();
  // Any thread: as Interrupt, and every later Connect fails at once too.
  void Abort();
  bool Aborted() const { return aborted_.load(); }

  int LastError() const { return LastError_; }
  const std::string& LastErrorText() const { return LastErrorText_; }
  const std::string& PeerText() const { return PeerText_; }
  bool Connected() const { return Connected_; }
  int UnreadCount() const { return Unread_; }

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
  void Compact();
  void Consume(int count);
  void DropPendingLf();
  bool IsInterrupted() const { return interrupted_.load() || aborted_.load(); }

  // Guards Socket_ against the cross-thread shutdown; never held during I/O.
  std::mutex handleLock_;
  sock::Handle Socket_ = sock::kInvalid;
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> aborted_{false};

  int LastError_ = 0;
  std::string LastErrorText_;
  std::string PeerText_;
  bool Connected_ = false;
  char* Buffer_;
  int ReadPos_ = 0;
  int Unread_ = 0;
  // A line ended by a CR that was the last byte received so far: its LF may
  // still be in transit and is dropped when it arrives.
  bool pendingLf_ = false;
};

}  // namespace lg
