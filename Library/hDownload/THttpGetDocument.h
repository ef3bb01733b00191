// THttpGetDocument: fetches one whole document over HTTP into memory,
// following redirects and decoding "gzip" and "deflate" bodies. The update
// worker uses it for the manifests it reads.
//
// Threads: Get runs on the caller's thread, which does all network work. A
// watchdog thread, running from construction to destruction, interrupts the
// socket when a connect has been pending for more than 8000 ms (or at once
// after a failed header read). Abort may be called from any thread and makes
// a Get that is blocked in the network return false promptly (a name look-up
// in progress is the one wait it cannot cut). The destructor aborts too, but
// the object must not be destroyed while another thread is inside Get.
//
// Owns its socket, both header objects and the document.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "Library/hDownload/TBlockSocket.h"
#include "Library/hDownload/THttpHeader.h"

namespace lg {

class THttpGetDocument {
 public:
  static constexpr uint32_t kConnectWatchMs = 8000;
  static constexpr int kConnectTimeoutMs = 10000;
  static constexpr int kMaxRedirects = 10;
  static constexpr int kMaxHeaderLines = 200;
  static constexpr int64_t kMaxDocumentSize = int64_t(64) << 20;

  THttpGetDocument();
  ~THttpGetDocument();
  THttpGetDocument(const THttpGetDocument&) = delete;
  THttpGetDocument& operator=(const THttpGetDocument&) = delete;

  // The whole document of `url`, decoded, into Document(). `hostOverride`,
  // when not empty, is the host (name or dotted address) to connect to
  // instead of the URL's; the request still names the URL's host.
  bool Get(const std::string& url, const std::string& hostOverride);
  void Abort();
  // How many 301/302 answers one Get follows (kMaxRedirects unless set); 0
  // makes a redirect a failure with the redirect's answer in Response().
  void SetMaxRedirects(int count) { maxRedirects_ = count; }

  const std::string& Document() const { return document_; }
  // "Content-Length" of a 200, the total of "Content-Range" of a 206.
  int64_t DocumentLength() const { return documentLength_; }
  // Why the last Get failed: the response's header lines for a refused
  // status, otherwise a short description.
  const std::string& FailureText() const { return failureText_; }
  const THttpHeader& Request() const { return request_; }
  const THttpHeader& Response() const { return response_; }
  const TBlockSocket& Socket() const { return socket_; }

 private:
  bool DoRequest2(const std::string& hostOverride);
  bool ReadHeaderBlock();
  bool ReadBody();
  bool Fail(const std::string& text);
  void Watch();

  TBlockSocket socket_;
  THttpHeader request_;
  THttpHeader response_;
  std::string document_;
  int64_t documentLength_ = 0;
  // Tick of the pending connect; 0 when none, 1 to have the watchdog
  // interrupt the socket at its next look.
  std::atomic<uint32_t> connectTick_{0};
  std::string failureText_;
  int maxRedirects_ = kMaxRedirects;
  std::atomic<bool> aborted_{false};

  std::mutex stopLock_;
  std::condition_variable stopWake_;
  bool stop_ = false;  // guarded by stopLock_
  std::thread watchdog_;
};

}  // namespace lg
