// THttpDownload: fetches one file over HTTP into a directory with several
// connections at once, and resumes an interrupted download in a later run.
//
// A one-byte probe asks whether the server serves ranges. With a 206 the
// file is cut into ranges (TDownLoadChunk, kept in "<name>.!dl") that the
// workers fetch in parallel into "<name>.!tmp" through the background
// writer (TBGFileStream); with a 200 one worker fetches the whole body. At
// the end the data file is inflated (gzip/deflate) or renamed to its final
// name and given the server's modification time.
//
// Threads: the owner calls Start, CheckTimeout (every 10 ms while waiting)
// and the destructor. OnReceive, OnComplete and OnFailed run on worker
// threads (OnFailed also on the owner's, from CheckTimeout), OnWrite on the
// writer's thread: handlers only record or post. OnComplete or OnFailed is
// raised once per download. Lock order: the download's lock, then the
// pool's; the download's lock is never held during network or disk I/O
// except for the short state-file writes.
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
#include <string>
#include <vector>

#include "Library/hDownload/TBGFileStream.h"
#include "Library/hDownload/TDownLoadChunk.h"
#include "Library/hDownload/THttpWorker.h"

namespace lg {

// The final file's name from a URL (the text after the last '/' or '\',
// without the query; a query of several "&" parts names the file itself).
std::string FileNameOfUrl(const std::string& url);

class THttpDownload {
 public:
  enum TState : uint8_t { Idle = 0, Probing = 1, Downloading = 2, Stopping = 4, Failed = 5 };

  using TEvent = std::function<void(THttpDownload&)>;
  using TProgressEvent = std::function<void(THttpDownload&, uint32_t elapsedMs, int64_t done, int64_t fileSize)>;

  static constexpr uint32_t kWorkerTimeoutMs = 10000;
  static constexpr int kRenameAttempts = 100;
  static constexpr int kRenamePauseMs = 100;

  explicit THttpDownload(uint8_t threadCount);
  ~THttpDownload();
  THttpDownload(const THttpDownload&) = delete;
  THttpDownload& operator=(const THttpDownload&) = delete;

  // Alternative addresses, handed to the workers in turn.
  void SetHosts(const std::vector<std::string>& hosts);
  // Begins the download; ignored unless Idle. `saveDir` (GBK, "\" or "/")
  // is created when missing; empty keeps the program's directory.
  // `expectedSize` > 0 is checked against the server's total.
  void Start(const std::string& url, const std::string& saveDir, int64_t expectedSize);
  // Replaces workers silent for longer than the time-out; fails a download
  // that nobody can finish.
  void CheckTimeout();

  TEvent OnComplete;
  TEvent OnFailed;
  TProgressEvent OnReceive;
  TProgressEvent OnWrite;

  std::string ErrorText() const;
  const std::string& URL() const { return URL_; }
  std::string FileName() const;
  std::string SaveDir() const { return SaveDir_; }
  int64_t FileSize() const { return FileSize_.load(); }
  int64_t ReceivedSize() const { return ReceivedSize_.load(); }
  int64_t WrittenSize() const { return WrittenSize_.load(); }
  TState State() const { return State_.load(); }
  uint8_t ThreadCount() const { return ThreadCount_.load(); }

  // Tests only: the silence after which a worker is replaced. Production
  // code keeps kWorkerTimeoutMs.
  void SetWorkerTimeoutForTests(uint32_t ms) { workerTimeoutMs_ = ms; }
  void SetRenameAttemptsForTests(int attempts) { renameAttempts_ = attempts; }

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
  bool CreateState(const std::string& stateFile, const std::string& dataFile);
  bool OpenWriter(const std::string& dataFile, int64_t truncateTo);
  void Finish(int windowBits);
  bool HandOutNext(THttpWorker& worker, const char* logFormat);
  std::unique_ptr<THttpHeader> GetNextRequest(std::optional<TByteRange>& range);
  void StartWorkers();
  std::unique_ptr<THttpWorker> NewWorker(int slot, const std::string& host);
  void SetError(const std::string& text);
  void EnterState(TState next);
  void RaiseFailed();
  void RaiseComplete();
  int TargetCount() const;
  std::string DataFile() const;
  std::string StateFile() const;

  // Guards Chunks_, Writer_, Workers_, FileName_, LastModified_, the busy
  // marks and the finish/data-call bookkeeping.
  mutable std::mutex Lock_;
  std::condition_variable dataIdle_;  // OnData calls have left the writer
  std::unique_ptr<TDownLoadChunk> Chunks_;
  std::shared_ptr<TBGFileStream> Writer_;
  int dataCalls_ = 0;
  bool finishing_ = false;
  std::vector<std::unique_ptr<THttpWorker>> Workers_;
  std::vector<bool> busy_;  // slot has a request in hand

  std::string URL_;
  std::string FileName_;
  std::string SaveDir_;
  std::string LastModified_;
  std::atomic<int64_t> FileSize_{0};
  std::atomic<int64_t> ReceivedSize_{0};
  std::atomic<int64_t> WrittenSize_{0};
  int64_t ExpectedSize_ = 0;
  std::atomic<TState> State_{Idle};
  std::atomic<uint8_t> ThreadCount_;
  std::atomic<int32_t> IdleCount_{0};
  uint32_t StartTick_ = 0;
  mutable std::mutex errorLock_;
  std::string ErrorText_;  // guarded by errorLock_
  std::vector<std::string> Hosts_;
  size_t HostIndex_ = 0;
  std::atomic<bool> ended_{false};        // OnComplete or OnFailed raised
  std::atomic<bool> firstAnswer_{false};  // a 200 or 206 answer has been taken as the first
  std::atomic<uint32_t> workerTimeoutMs_{kWorkerTimeoutMs};
  int renameAttempts_ = kRenameAttempts;
};

}  // namespace lg
