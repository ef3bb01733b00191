// THttpDownload: fetches one file over HTTP into a directory with several
// connections at once, and resumes an interrupted download in a later run.
//
// A one-byte probe asks whether the server serves ranges. With a 206 the
// file is cut into ranges (TDownLoadChunk, kept in "<name>.!dl") that the
// workers fetch in parallel into "<name>.!tmp" through the background
// writer (TBGFileStream); with a 200 one worker fetches the whole body. At
// the end the state file goes first, then the data file is inflated
// (gzip/deflate, into "<name>.!inf") and renamed to its final name and
// given the server's modification time.
//
// Threads: the owner calls Start, CheckTimeout (every 10 ms while waiting)
// and the destructor. OnReceive, OnComplete and OnFailed run on worker
// threads (OnFailed also on the owner's, from CheckTimeout), OnWrite on the
// writer's thread: handlers only record or post. OnComplete or OnFailed is
// raised once per download. Lock order: the download's lock, then the
// pool's; the download's lock is never held during network or disk I/O
// except for the short state-file writes.
//
// Pipelined mode (SetPipelined): the workers keep their connections alive
// through a connection pool shared with other downloads, and there is no
// probe: the first request asks for the first kFirstRangeBytes, and its 206
// gives the total size (a 200 becomes the one-connection download of the
// whole body, as after the probe). The rest of the file is cut into ranges
// as after the probe; every status and Content-Range rule stays the same.
//
// Owns its workers, the writer and the range pool. Destroying it stops the
// workers (each unfinished range goes back to the pool), writes everything
// queued, and saves the pool's state file for the next run.
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

#include "Library/hDownload/TBGFileStream.h"
#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/TDownLoadChunk.h"
#include "Library/hDownload/THttpWorker.h"

namespace lg {

// The final file's name from a URL (the text after the last '/' or '\',
// without the query; a query of several "&" parts names the file itself).
std::string FileNameOfUrl(const std::string& url);

class THttpDownload {
 public:
  enum TState : uint8_t { Idle = 0, Probing = 1, Downloading = 2, Stopping = 4, Failed = 5 };

  using TNotifyEvent = std::function<void(THttpDownload&)>;
  using TProgressEvent = std::function<void(THttpDownload&, uint32_t elapsedMs, int64_t done, int64_t fileSize)>;

  static constexpr uint32_t kWorkerTimeoutMs = 10000;
  static constexpr int kRenameAttempts = 100;
  static constexpr int kRenamePauseMs = 100;
  // While ranges are fetched the state file is brought up to date every
  // kStateSaveMs (and every kStateSaveBytes received when that is set), so
  // a crash loses at most about that much. Each save puts the data file on
  // disk first. A time interval bounds the saves a second whatever the
  // speed (a byte trigger does not).
  static constexpr uint32_t kStateSaveMs = 250;
  static constexpr int64_t kStateSaveBytes = 0;
  // A file at least this big is put on disk before it takes its final name,
  // so that after a power cut the name never stands for bytes that never
  // reached the disk (the next pass trusts a file by its size and time).
  // Smaller files skip the wait: each flush costs a journal commit, which a
  // pass over thousands of small files would feel.
  static constexpr int64_t kFlushBeforeRenameBytes = 4 << 20;
  // Pipelined mode: the first request's range; a file no longer than this
  // comes whole in one answer.
  static constexpr int64_t kFirstRangeBytes = 1048576;

  explicit THttpDownload(uint8_t threadCount);
  ~THttpDownload();
  THttpDownload(const THttpDownload&) = delete;
  THttpDownload& operator=(const THttpDownload&) = delete;

  // Before Start: the pipelined mode, with the pool the workers take kept
  // connections from and give them back to. Null keeps the default mode.
  void SetPipelined(std::shared_ptr<TConnectionPool> pool) { pool_ = std::move(pool); }
  bool Pipelined() const { return pool_ != nullptr; }

  // Before Start: the writer works out the file's MD5 (and SHA-256 when
  // asked) as it writes, so that a caller checking the finished file need
  // not read it again (WrittenDigests).
  void KeepDigests(bool withSha256) {
    keepDigests_ = true;
    withSha256_ = withSha256;
  }
  // After OnComplete: the final file's digests, when the writer saw all of
  // its bytes go in (not for a resumed, rewritten or inflated file).
  std::optional<TFileDigests> WrittenDigests() const;

  // Alternative addresses, handed to the workers in turn.
  void SetHosts(const std::vector<std::string>& hosts);
  // Begins the download; ignored unless Idle. `saveDir` (GBK, "\" or "/")
  // is created when missing; empty keeps the program's directory.
  // `expectedSize` > 0 is checked against the server's total.
  void Start(const std::string& url, const std::string& saveDir, int64_t expectedSize);
  // Replaces workers silent for longer than the time-out; fails a download
  // that nobody can finish.
  void CheckTimeout();

  TNotifyEvent OnComplete;
  TNotifyEvent OnFailed;
  TProgressEvent OnReceive;
  TProgressEvent OnWrite;

  std::string ErrorText() const;
  const std::string& URL() const { return url_; }
  std::string FileName() const;
  std::string SaveDir() const { return saveDir_; }
  int64_t FileSize() const { return fileSize_.load(); }
  int64_t ReceivedSize() const { return receivedSize_.load(); }
  int64_t WrittenSize() const { return writtenSize_.load(); }
  TState State() const { return state_.load(); }
  uint8_t ThreadCount() const { return threadCount_.load(); }

  // Tests only: the silence after which a worker is replaced. Production
  // code keeps kWorkerTimeoutMs.
  void SetWorkerTimeoutForTests(uint32_t ms) { workerTimeoutMs_ = ms; }
  void SetRenameAttemptsForTests(int attempts) { renameAttempts_ = attempts; }
  // Other saving intervals (tests), or 0 and 0 for no saving during the
  // download (the benchmark's comparison run). Before Start.
  void SetStateSaveInterval(uint32_t ms, int64_t bytes) {
    stateSaveMs_ = ms;
    stateSaveBytes_ = bytes;
  }
  // Times the state file was saved during the download.
  int StateSaves() const { return stateSaves_.load(); }

 private:
  THttpWorker::THeaderAnswer OnHeader(THttpWorker& worker);
  bool OnData(THttpWorker& worker, const char* data, int32_t length, int64_t offset);
  void OnDone(THttpWorker& worker);
  void OnStop(THttpWorker& worker);

  THttpWorker::THeaderAnswer OnProbeAnswer200(THttpWorker& worker);
  THttpWorker::THeaderAnswer OnAnswer206(THttpWorker& worker);
  THttpWorker::THeaderAnswer Refuse(THttpWorker& worker, const std::string& why);
  bool FirstResponse(THttpWorker& worker, bool wasFirst, bool ranged);
  bool Resume(const std::string& stateFile, const std::string& dataFile);
  // A fresh state whose pool starts at `firstFree` (the bytes before it are
  // being fetched already).
  bool CreateState(const std::string& stateFile, const std::string& dataFile, int64_t firstFree);
  bool OpenWriter(const std::string& dataFile, int64_t truncateTo);
  void Finish(int windowBits);
  bool HandOutNext(THttpWorker& worker, const char* logFormat);
  void WakeIdleWorkers(const THttpWorker& returning);
  std::unique_ptr<THttpHeader> GetNextRequest(std::optional<TByteRange>& range);
  void StartWorkers();
  std::unique_ptr<THttpWorker> NewWorker(int slot, const std::string& host);
  void SaveProgress();
  void SetError(const std::string& text);
  void EnterState(TState next);
  void RaiseFailed();
  void RaiseComplete();
  int TargetCount() const;
  std::string DataFile() const;
  std::string StateFile() const;
  std::string InflatedFile() const;

  // Guards chunks_, writer_, workers_, fileName_, lastModified_, the busy
  // marks and the finish/data-call bookkeeping.
  mutable std::mutex lock_;
  std::condition_variable dataIdle_;  // OnData calls have left the writer
  std::unique_ptr<TDownLoadChunk> chunks_;
  std::shared_ptr<TBGFileStream> writer_;
  bool ownsDataFile_ = false;  // this download opened (and so may remove) the data file
  int dataCalls_ = 0;
  bool finishing_ = false;
  std::vector<std::unique_ptr<THttpWorker>> workers_;
  std::vector<bool> busy_;  // slot has a request in hand

  std::string url_;
  std::string fileName_;
  std::string saveDir_;
  std::string lastModified_;
  std::atomic<int64_t> fileSize_{0};
  std::atomic<int64_t> receivedSize_{0};
  std::atomic<int64_t> writtenSize_{0};
  int64_t expectedSize_ = 0;
  std::atomic<TState> state_{Idle};
  std::atomic<uint8_t> threadCount_;
  std::atomic<int32_t> idleCount_{0};
  uint32_t startTick_ = 0;
  mutable std::mutex errorLock_;
  std::string errorText_;  // guarded by errorLock_
  std::vector<std::string> hosts_;
  std::shared_ptr<TConnectionPool> pool_;       // set before Start, then read only
  bool keepDigests_ = false;                    // the same
  bool withSha256_ = false;                     // the same
  std::optional<TFileDigests> writtenDigests_;  // guarded by lock_
  size_t hostIndex_ = 0;
  std::atomic<bool> ended_{false};        // OnComplete or OnFailed raised
  std::atomic<bool> firstAnswer_{false};  // a 200 or 206 answer has been taken as the first
  std::atomic<uint32_t> workerTimeoutMs_{kWorkerTimeoutMs};
  int renameAttempts_ = kRenameAttempts;
  // Owner's thread only (CheckTimeout).
  uint32_t stateSaveMs_ = kStateSaveMs;
  int64_t stateSaveBytes_ = kStateSaveBytes;
  uint32_t lastSaveTick_ = 0;
  int64_t lastSaveReceived_ = 0;
  std::atomic<int> stateSaves_{0};
};

}  // namespace lg
