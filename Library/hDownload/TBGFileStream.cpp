#include "Library/hDownload/TBGFileStream.h"

#include <chrono>

namespace lg {

TBGFileStream::TBGFileStream(const std::string& fileName, bool startWriteBack)
    : fileName_(fileName), startWriteBack_(startWriteBack) {
  open_ = file_.Open(fileName, plat::TFileStream::Mode::OpenOrCreate);
  thread_ = TJobThreads::Shared().Run([this] { Run(); });
}

TBGFileStream::~TBGFileStream() {
  Close();
}

void TBGFileStream::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    terminated_ = true;
  }
  wake_.notify_all();
  drained_.notify_all();
  thread_.Join();
  {
    std::lock_guard<std::mutex> guard(lock_);
    joined_ = true;
  }
  std::lock_guard<std::mutex> guard(closeLock_);
  file_.Close();
}

bool TBGFileStream::Write(const void* data, int32_t length, int64_t offset) {
  if (!open_ || !data || length < 1 || offset < 0) return false;
  std::string copy(static_cast<const char*>(data), static_cast<size_t>(length));
  std::unique_lock<std::mutex> guard(lock_);
  // Back-pressure: wait for room, but never forever; a writer that makes no
  // progress for a minute is as good as failed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (queuedBytes_ > 0 && queuedBytes_ + length > kMaxQueuedBytes && !failed_ && !aborted_ && !terminated_) {
    if (drained_.wait_until(guard, deadline) == std::cv_status::timeout) return false;
  }
  if (failed_ || aborted_ || terminated_) return false;
  const uint64_t seq = nextSeq_++;
  queue_.emplace(offset, std::make_pair(seq, std::move(copy)));  // after equal keys: arrival order
  pending_.insert(seq);
  queuedBytes_ += length;
  guard.unlock();
  wake_.notify_one();
  return true;
}

bool TBGFileStream::Sync(int timeoutMs) {
  {
    std::unique_lock<std::mutex> guard(lock_);
    const uint64_t last = nextSeq_ - 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto written = [&] { return failed_ || pending_.empty() || *pending_.begin() > last; };
    while (!written()) {
      if (terminated_ && queue_.empty()) break;
      if (drained_.wait_until(guard, deadline) == std::cv_status::timeout && !written()) return false;
    }
    if (failed_ || !written()) return false;
  }
  // The writer may go on writing later blocks meanwhile; fsync covers at
  // least everything written before it was called.
  std::lock_guard<std::mutex> guard(closeLock_);
  return file_.Flush();
}

void TBGFileStream::Abort() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    aborted_ = true;
  }
  drained_.notify_all();
}

bool TBGFileStream::Failed() const {
  std::lock_guard<std::mutex> guard(lock_);
  return failed_;
}

std::string TBGFileStream::ErrorText() const {
  std::lock_guard<std::mutex> guard(lock_);
  return errorText_;
}

void TBGFileStream::FollowDigests(bool withSha256) {
  std::lock_guard<std::mutex> guard(lock_);
  if (nextSeq_ == 1) digest_ = std::make_unique<TWrittenDigest>(withSha256);
}

bool TBGFileStream::WrittenDigests(int64_t size, TFileDigests& out) {
  std::lock_guard<std::mutex> guard(lock_);
  return joined_ && !failed_ && digest_ && digest_->Result(size, out);
}

int64_t TBGFileStream::QueuedBytes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queuedBytes_;
}

void TBGFileStream::Run() {
  for (;;) {
    if (WriteOne()) continue;
    std::unique_lock<std::mutex> guard(lock_);
    if (terminated_ && queue_.empty()) return;
    // Idle: wait for a block, with the 10 ms poll as a safety net.
    wake_.wait_for(guard, std::chrono::milliseconds(10), [this] { return terminated_ || !queue_.empty(); });
  }
}

// Writes the lowest-offset block; false when the queue was empty.
bool TBGFileStream::WriteOne() {
  int64_t offset;
  uint64_t seq;
  std::string data;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) return false;
    auto head = queue_.begin();
    offset = head->first;
    seq = head->second.first;
    data = std::move(head->second.second);
    queue_.erase(head);
  }
  const bool ok = !Failed() && file_.WriteAt(offset, data.data(), data.size());
  if (ok && startWriteBack_) file_.StartWriteBack(offset, data.size());
  {
    std::lock_guard<std::mutex> guard(lock_);
    queuedBytes_ -= static_cast<int64_t>(data.size());
    pending_.erase(seq);
    if (!ok && !failed_) {
      failed_ = true;
      errorText_ = "Write Error: " + fileName_ + " @" + std::to_string(offset);
    }
  }
  drained_.notify_all();
  if (ok && digest_) digest_->Written(file_, offset, data.data(), data.size());
  if (ok && OnWritten) OnWritten(static_cast<int32_t>(data.size()));
  return true;
}

}  // namespace lg
