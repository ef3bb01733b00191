// The base of the launcher's UDP endpoints: a worker thread of its own that
// opens the socket when the owner wants it open (no more often than every
// 30 seconds), and runs rounds of sending and receiving while it is open.
// Subclasses supply SetActive and Process.
//
// Threads: the owner (any one thread) creates, configures, opens, closes and
// destroys; the worker runs SetActive(true), Process and every callback.
// Host and Port are guarded by the socket lock together with the handle, so
// the owner may set them at any time; they are ignored while the socket is
// open. WantOpen is atomic. Callbacks may be set at any time; each call uses
// the one set when the call starts. A callback may call Close and SendBuffer
// but must not destroy the socket (the destructor waits for the worker).
//
// Lifecycle: a concrete subclass calls StartWorker() at the end of its
// constructor and StopWorker() first in its destructor, so the worker never
// runs a virtual function of a half-built or half-destroyed object.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/Event.h"
#include "common/Socket.h"

namespace lg {

// A reported socket error that no handler cleared: the text, " (", the code
// and ")".
class EUDPSocketError : public std::runtime_error {
 public:
  EUDPSocketError(const std::string& text, int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// Called with the error text and the code; setting the code to 0 clears the
// error (nothing is raised).
using TUDPErrorEvent = std::function<void(const std::string& text, int& code)>;

class TCustomUDPSocket {
 public:
  static constexpr uint32_t kReopenSpacingMs = 30000;
  static constexpr int kMaxHostLength = 63;
  // Windows Sockets' "host not found", reported when Host does not resolve.
  static constexpr int kHostNotFound = 11001;

  virtual ~TCustomUDPSocket();
  TCustomUDPSocket(const TCustomUDPSocket&) = delete;
  TCustomUDPSocket& operator=(const TCustomUDPSocket&) = delete;

  // At most 63 characters are kept; ignored while the socket is open.
  void SetHost(const std::string& host);
  std::string Host() const;
  // Ignored while the socket is open.
  void SetPort(int port);
  int Port() const;

  // The worker opens the socket on its next turn.
  void Open();
  // Closes the socket now; the worker stops reopening it.
  void Close();
  bool IsOpen() const;
  bool WantOpen() const { return wantOpen_.load(); }

  void SetOnError(TUDPErrorEvent handler);

  // Shortest time between two open attempts (30000 ms); tests shorten it.
  void SetReopenSpacingMs(uint32_t ms) { reopenSpacingMs_.store(ms); }

  // The text for a Windows Sockets code: the table's text, or "ErrorCode is "
  // and the code.
  static std::string ErrorCodeText(int code);

  // Calls OnError with the text and the code; raises EUDPSocketError when
  // the code is not 0 afterwards.
  void ReportError(int code);

 protected:
  TCustomUDPSocket();

  void StartWorker();
  // Stops reopening, closes the socket, wakes the worker and waits for it.
  // Idempotent.
  void StopWorker();

  // Opens (true) or closes (false) the socket. SetActive(true) runs on the
  // worker only and must, on success, publish the handle with
  // PublishSocket so that a concurrent Close wins.
  virtual void SetActive(bool active) = 0;
  // One round of sending and receiving; true: pause 5 ms before the next.
  virtual bool Process() = 0;

  bool Terminated() const { return terminated_.load(); }

  // Stores a freshly opened handle unless Close ran since the open attempt
  // began; clears WantOpen. False (and the handle closed) when Close won.
  bool PublishSocket(sock::Handle handle);

  // Guards socket_, host_ and port_. Held only for non-blocking calls on the
  // handle, so a Close from the owner never frees a handle the worker is
  // using. Never held while calling out.
  mutable std::mutex socketLock_;
  sock::Handle socket_ = sock::kInvalid;
  std::atomic<bool> wantOpen_{false};
  TEvent wake_;

 private:
  void Execute();

  std::string host_;
  int port_ = 0;
  std::mutex callbackLock_;
  TUDPErrorEvent onError_;
  std::atomic<bool> terminated_{false};
  std::atomic<uint32_t> reopenSpacingMs_{kReopenSpacingMs};
  std::thread worker_;
};

}  // namespace lg
