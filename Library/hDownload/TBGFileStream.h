// Writes blocks of downloaded data into one file at given offsets on a
// thread of its own, so the download workers never wait for the disk. The
// queue is ordered by offset, so the file is written mostly front to back.
//
// Threads: Write may be called from several workers at once; OnWritten runs
// on the writer's thread. The queue lock is never held during a disk write.
//
// Memory stays bounded whatever the disk speed: when more than
// kMaxQueuedBytes wait in the queue, Write blocks until the writer catches
// up (back-pressure on the network), or until Abort.
//
// A block that cannot be positioned or written is never reported as
// written: the writer records the failure (Failed, ErrorText) and refuses
// every later Write, so the download cannot end as a success.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "Library/hDownload/TJobThreads.h"
#include "Library/hDownload/TWrittenDigest.h"
#include "common/FileStream.h"

namespace lg {

class TBGFileStream {
 public:
  static constexpr int64_t kMaxQueuedBytes = 8 << 20;

  // Opens (or creates, keeping its content) the file and starts the thread.
  // With `startWriteBack` each written block is also handed to the disk at
  // once, without waiting: a stream that will be Synced every so often then
  // finds little left to write at each Sync, instead of the whole interval's
  // worth at once while the download waits for it.
  explicit TBGFileStream(const std::string& fileName, bool startWriteBack = false);
  // Close.
  ~TBGFileStream();
  TBGFileStream(const TBGFileStream&) = delete;
  TBGFileStream& operator=(const TBGFileStream&) = delete;

  bool IsOpen() const { return open_; }
  // Queues a copy; false when the file is not open, the data is missing or
  // empty, an earlier block failed, or the writer was aborted.
  bool Write(const void* data, int32_t length, int64_t offset);
  // Wakes writers blocked by back-pressure and refuses later Writes; the
  // blocks already queued are still written on destruction.
  void Abort();
  // Waits until every block queued before the call is written, then has the
  // system put the file on disk (fsync): afterwards a crash or power cut
  // cannot lose those bytes. False when a write failed, the stream closed,
  // or the blocks were not written within `timeoutMs`.
  bool Sync(int timeoutMs);
  // Writes everything still queued, ends the thread and closes the file;
  // Failed and ErrorText stay readable. Later Writes are refused.
  void Close();

  bool Failed() const;
  std::string ErrorText() const;
  int64_t QueuedBytes() const;

  // Before the first Write: the writer works out the file's digests as it
  // writes (TWrittenDigest), MD5 and, when asked, SHA-256.
  void FollowDigests(bool withSha256);
  // After Close: the digests of the file's first `size` bytes, when every
  // one of them was written through this stream and hashed on the way.
  bool WrittenDigests(int64_t size, TFileDigests& out);

  // Called on the writer thread after each complete write with its length.
  // Set before the first Write.
  std::function<void(int32_t)> OnWritten;

 private:
  void Run();
  bool WriteOne();

  plat::TFileStream file_;
  // Held by Sync's fsync and by Close, which may run on different threads;
  // never together with lock_.
  std::mutex closeLock_;
  std::string fileName_;
  bool open_ = false;
  const bool startWriteBack_;

  mutable std::mutex lock_;
  std::condition_variable wake_;     // the writer: work or termination
  std::condition_variable drained_;  // blocked Write calls: room in the queue
  // Offset-ordered; equal offsets keep their order of arrival. Each block
  // carries its arrival number; pending_ holds the numbers not yet written.
  std::multimap<int64_t, std::pair<uint64_t, std::string>> queue_;
  std::set<uint64_t> pending_;
  uint64_t nextSeq_ = 1;
  int64_t queuedBytes_ = 0;
  bool terminated_ = false;
  bool aborted_ = false;
  bool joined_ = false;  // the writer thread has ended
  bool failed_ = false;
  std::string errorText_;
  // The writer thread's until Close, then the owner's.
  std::unique_ptr<TWrittenDigest> digest_;
  TJobThreads::TJob thread_;
};

}  // namespace lg
