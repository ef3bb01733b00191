// THttpWorker: one connection of the segmented downloader. Its thread waits
// for a request, sends it (following redirects within five attempts), reads
// the body and hands it to the downloader in blocks of up to 1 MiB at their
// absolute file offsets, then reports the outcome (OnDone or OnStop) and
// waits for the next request.
//
// Threads: the worker's own thread runs the exchange and every event. The
// owner (THttpDownload) may call AssignRequest only while the worker waits
// (after construction, or from the worker's own events), and Terminate,
// IsTimedOut and Join from any thread. Terminate cuts a blocked socket call
// short. Owns its socket, request, response and data buffer.
//
// With a connection pool (the pipelined transfer mode) a request goes out
// on a kept-alive connection of the pool when one is idle for its host, and
// the connection returns to the pool after an answer that was read to its
// end and allows another request. A kept connection that fails before any
// byte of the answer came is tried once more on a fresh connection.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Library/hDownload/TBlockSocket.h"
#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/TDownLoadChunk.h"
#include "Library/hDownload/THttpHeader.h"
#include "Library/hDownload/TJobThreads.h"

namespace lg {

class THttpWorker {
 public:
  enum class THeaderAnswer { Continue, Follow, Stop };
  // How the body is framed: Identity reads "Content-Length" bytes, UntilClose
  // reads until the server closes (a 200 without length or chunking).
  enum class TFraming { Identity, Chunked, UntilClose };

  static constexpr int kDataBufferSize = 1048576;
  // A slow connection hands its bytes over at least this often even when the
  // buffer is not full, so that the downloader's saved state can count them
  // (a crash then loses that long of a slow transfer, not a whole buffer).
  static constexpr uint32_t kDataBufferAgeMs = 100;
  static constexpr int kMaxAttempts = 5;
  static constexpr int kConnectTimeoutMs = 10000;
  static constexpr int kMaxHeaderLines = 200;
  // Requests that fail one after another without a byte of progress before
  // the worker gives its range back for good.
  static constexpr int kMaxFailures = 8;

  struct TEvents {
    std::function<bool(THttpWorker&, const char* data, int32_t length, int64_t offset)> OnData;
    std::function<THeaderAnswer(THttpWorker&)> OnHeader;
    std::function<void(THttpWorker&)> OnDone;
    std::function<void(THttpWorker&)> OnStop;
  };

  // Starts the thread (a reused one of TJobThreads), which waits for the
  // first request. Without a pool every request has a connection of its own.
  THttpWorker(int index, std::string hostOverride, TEvents events, std::shared_ptr<TConnectionPool> pool = nullptr);
  // Terminate and Join.
  ~THttpWorker();
  THttpWorker(const THttpWorker&) = delete;
  THttpWorker& operator=(const THttpWorker&) = delete;

  // Takes the request (and the pool range it covers, if any), prepares the
  // response and wakes the thread.
  void AssignRequest(std::unique_ptr<THttpHeader> request, std::optional<TByteRange> range);
  // Any thread: stop after the current step; a blocked socket call fails.
  void Terminate();
  void Join();
  bool Terminated() const { return terminated_.load(); }
  // Watched (ActivityTick not 0) and silent for more than `limitMs`.
  bool IsTimedOut(uint32_t now, uint32_t limitMs) const;

  const int Index;
  const std::string HostOverride;
  TBlockSocket Socket;
  THttpHeader Response;
  THttpHeader& Request() { return *request_; }
  bool HasRequest() const { return request_ != nullptr; }
  const std::optional<TByteRange>& Range() const { return range_; }
  // The downloader took the range back (or saw it finished).
  void DropRange() { range_.reset(); }
  // The answer covers less than asked (the file ends earlier): the range
  // ends at `end` at most.
  void ClipRange(int64_t end) {
    if (range_ && range_->End > end) range_->End = end;
  }
  // Bytes of the current response handed to OnData and accepted.
  int64_t Delivered() const { return delivered_; }
  TFraming Framing = TFraming::Identity;
  // Set by the downloader: this worker's server cannot serve ranges of this
  // file; it takes no more ranges.
  bool Retired = false;
  // Consecutive failed requests without progress (worker thread only).
  int Failures = 0;
  // Why the last header block was refused for what it said (a malformed
  // status or header line, too many lines); empty after one that was read,
  // or when the connection failed. Worker thread only (its events included).
  const std::string& HeaderError() const { return headerError_; }
  // Tick of the last sign of life; 0 while not watched (waiting, handing data
  // to the writer, finishing), 1 to be found timed out at the next look.
  std::atomic<uint32_t> ActivityTick{0};

 private:
  void Execute();
  bool DoRequest();
  // `nothingArrived`: it failed before a byte of the answer came.
  bool ReadHeaderBlock(bool& nothingArrived);
  bool ReadBody();
  // A kept connection to host:port from the pool into Socket.
  bool TakePooledConnection(const std::string& host, int port);
  // Socket back to the pool when its answer was read whole and allows it.
  void ReleaseConnection();
  bool ReadTrailer();
  bool Flush();
  void Pause(int ms);
  void PrepareResponse();

  TEvents events_;
  const std::shared_ptr<TConnectionPool> pool_;
  // Worker thread only: where the connection in Socket leads, how many
  // requests it carried, and whether the last answer left it reusable.
  std::string connectionHost_;
  int connectionPort_ = 0;
  int connectionRequests_ = 0;
  bool keepConnection_ = false;
  int64_t announcedLength_ = 0;  // the answer's own Content-Length
  std::unique_ptr<THttpHeader> request_;
  std::optional<TByteRange> range_;
  std::string assignedUrl_;
  // Not cleared when made: a worker of a small file touches only the pages
  // it fills.
  std::unique_ptr<char[]> dataBuffer_;
  int32_t dataFill_ = 0;
  uint32_t fillTick_ = 0;  // when the first byte now in the buffer came
  // Written by the worker's thread; the downloader reads it to save its
  // progress while the body is still coming.
  std::atomic<int64_t> delivered_{0};
  int lastStatus_ = 0;
  std::string headerError_;

  std::mutex wakeLock_;
  std::condition_variable wake_;
  bool wakeSignalled_ = false;  // guarded by wakeLock_
  std::atomic<bool> terminated_{false};
  TJobThreads::TJob thread_;
};

}  // namespace lg
