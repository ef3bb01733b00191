// THttpDownload, second half: what the workers report (data, done, stop),
// the owner's time-out sweep, and the finish step.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Library/hDownload/HttpBody.h"
#include "Library/hDownload/HttpDate.h"
#include "Library/hDownload/THttpDownload.h"
#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Platform.h"

namespace lg {
namespace {

std::string Numbers(const char* format, long long a, long long b = 0, long long c = 0, long long d = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, a, b, c, d);
  return buf;
}

// Inflates `from` into `to` (created or replaced).
bool InflateFile(const std::string& from, const std::string& to, int windowBits, std::string& error) {
  plat::TFileStream in, out;
  if (!in.Open(from, plat::TFileStream::Mode::Read)) {
    error = "cannot read " + from;
    return false;
  }
  if (!out.Open(to, plat::TFileStream::Mode::Create)) {
    error = "cannot create " + to;
    return false;
  }
  TInflater inflater(windowBits);
  bool writeFailed = false;
  const TBodySink sink = [&](const char* data, int n) {
    writeFailed = !out.Write(data, static_cast<size_t>(n));
    return !writeFailed;
  };
  std::string block(32768, '\0');
  for (;;) {
    const int64_t n = in.Read(block.data(), block.size());
    if (n < 0) {
      error = "cannot read " + from;
      return false;
    }
    if (n == 0 || inflater.Finished()) break;
    if (!inflater.Feed(block.data(), static_cast<size_t>(n), sink)) {
      error = writeFailed ? "cannot write " + to : "inflating " + from + " failed: " + inflater.ErrorText();
      return false;
    }
  }
  if (!inflater.Finished()) {
    error = "inflating " + from + " failed: compressed data ends early";
    return false;
  }
  return true;
}

}  // namespace

bool THttpDownload::OnData(THttpWorker& worker, const char* data, int32_t length, int64_t offset) {
  std::shared_ptr<TBGFileStream> writer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ == Stopping || state_ == Failed || finishing_ || !writer_) return false;
    writer = writer_;
    ++dataCalls_;
  }
  const bool queued = writer->Write(data, length, offset);
  {
    std::lock_guard<std::mutex> guard(lock_);
    --dataCalls_;
  }
  dataIdle_.notify_all();
  if (!queued) {
    if (writer->Failed()) {
      // The disk refused a block: nothing written later could make the file
      // whole again.
      SetError(writer->ErrorText());
      EnterState(Failed);
    }
    plat::DebugOutput(std::to_string(worker.Index) + "# write queue refused the block");
    return false;
  }
  const int64_t received = receivedSize_ += length;
  plat::DebugOutput(Numbers("%lld# %lld/%lld", worker.Index, length, received));
  if (OnReceive) OnReceive(*this, plat::TickCount() - startTick_, received, fileSize_.load());
  return true;
}

void THttpDownload::OnDone(THttpWorker& worker) {
  const size_t slot = static_cast<size_t>(worker.Index - 1);
  std::unique_lock<std::mutex> guard(lock_);
  if (slot >= workers_.size()) return;
  plat::DebugOutput(std::to_string(worker.Index) + Gbk("# 线程--完成"));
  bool fail = false;
  if (const auto range = worker.Range()) {
    worker.DropRange();
    const int64_t delivered = worker.Delivered();
    // A short answer leaves the rest of its range for the next request.
    if (delivered < range->Length() && chunks_) chunks_->AddRange(range->Start + delivered, range->End);
    if (delivered == 0) {
      worker.Retired = true;
      SetError(worker.Socket.PeerText() + " sent no bytes for the range " + std::to_string(range->Start) + "-" +
               std::to_string(range->End));
      if (state_ == Downloading && !finishing_) WakeIdleWorkers(worker);
    }
  }
  if (fileSize_ == 0) fileSize_ = worker.Response.Received;  // size learned at the end
  if (receivedSize_ >= fileSize_) {
    if (finishing_) return;
    finishing_ = true;
    worker.ActivityTick = 0;  // inflating a large file is no stall
    const int bits = worker.Response.ContentWindowBits();
    guard.unlock();
    Finish(bits);
    return;
  }
  if (state_ == Stopping) {
    busy_[slot] = false;
    return;
  }
  if (worker.Retired || !HandOutNext(worker, "%lld# 线程开始:%lld->%lld(%lld)")) {
    busy_[slot] = false;
    plat::DebugOutput(std::to_string(worker.Index) + "# 线程停止. finish");
    if (worker.Retired) ++idleCount_;
    fail = idleCount_ >= threadCount_;
    if (fail && ErrorText().empty())
      SetError(std::to_string(fileSize_ - receivedSize_) + " bytes of " + url_ + " could not be fetched");
  }
  guard.unlock();
  if (fail) RaiseFailed();
}

void THttpDownload::OnStop(THttpWorker& worker) {
  const size_t slot = static_cast<size_t>(worker.Index - 1);
  std::unique_lock<std::mutex> guard(lock_);
  bool fail = state_ == Failed;
  const auto range = worker.Range();
  if (range && chunks_) {
    worker.DropRange();
    const int64_t next = range->Start + worker.Delivered();
    if (next <= range->End) chunks_->AddRange(next, range->End);
    if (!fail && state_ != Stopping && slot < workers_.size()) {
      THttpWorker* target = &worker;
      if (worker.Terminated()) {
        // Replaced after a time-out: a fresh worker takes the slot. The old
        // one was already taken out of it by CheckTimeout.
        workers_[slot] = NewWorker(static_cast<int>(slot), worker.HostOverride);
        target = workers_[slot].get();
      } else if (worker.Failures >= THttpWorker::kMaxFailures) {
        worker.Retired = true;
        SetError(std::to_string(worker.Failures) + " requests for " + worker.Request().Path + " to " +
                 (worker.Socket.PeerText().empty() ? worker.Request().Host : worker.Socket.PeerText()) +
                 " failed: " + worker.Socket.LastErrorText());
      }
      if (target->Retired) {
        busy_[slot] = false;
        ++idleCount_;
        WakeIdleWorkers(*target);
        fail = idleCount_ >= threadCount_;
      } else if (HandOutNext(*target, "%lld# 线程重启:%lld->%lld")) {
      } else {
        busy_[slot] = false;
        plat::DebugOutput(std::to_string(worker.Index) + Gbk("# 线程停止.Reclaim."));
        fail = idleCount_ >= threadCount_;
      }
      if (fail && ErrorText().empty()) SetError("no worker left for the missing bytes of " + url_);
    } else if (slot < busy_.size() && !worker.Terminated()) {
      busy_[slot] = false;
    }
  } else {
    if (slot < busy_.size() && !worker.Terminated()) busy_[slot] = false;
    // The probe's answer cannot be read: asking again gets the same answer,
    // and waiting for the stall timer would only hide why.
    if (!fail && state_ == Probing && !worker.HeaderError().empty() && worker.HasRequest()) {
      SetError(worker.Socket.PeerText() + " " + worker.Request().Path + ": " + worker.HeaderError());
      EnterState(Failed);
      fail = true;
    }
    // One connection carries the whole body: when it breaks there is no
    // range to give back, and waiting would never end.
    if (!fail && !chunks_ && state_ == Downloading && !finishing_ && worker.HasRequest()) {
      SetError(worker.Socket.PeerText() + " " + worker.Request().Path + ": the transfer broke off after " +
               std::to_string(receivedSize_.load()) + " bytes " + worker.Socket.LastErrorText());
      EnterState(Failed);
      fail = true;
    }
  }
  guard.unlock();
  if (fail) RaiseFailed();
}

void THttpDownload::CheckTimeout() {
  const uint32_t now = plat::TickCount();
  const uint32_t limit = workerTimeoutMs_.load();
  size_t count;
  {
    std::lock_guard<std::mutex> guard(lock_);
    count = workers_.size();
  }
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<THttpWorker> victim;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!workers_[i] || !workers_[i]->IsTimedOut(now, limit)) continue;
      victim = std::move(workers_[i]);
      busy_[i] = false;
    }
    plat::DebugOutput(std::to_string(i + 1) + Gbk("# 线程超时"));
    // Its thread ends with OnStop, which returns the range and puts a new
    // worker into the slot.
    victim->Terminate();
    victim->Join();
    victim.reset();
    if (i == 0 && (state_ == Probing || receivedSize_ == 0) && !ended_) {
      SetError(Gbk("超时错误"));
      EnterState(Failed);
      RaiseFailed();
    }
  }
  // Nobody is working and the file is not whole: a download that cannot end.
  bool stalled = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ == Downloading && chunks_ && !finishing_ && !ended_) {
      stalled = true;
      for (bool b : busy_) stalled = stalled && !b;
    }
  }
  if (stalled) {
    if (ErrorText().empty()) SetError("no worker left for the missing bytes of " + url_);
    EnterState(Failed);
    RaiseFailed();
    return;
  }
  // Here, after the time-out sweep, no replaced worker still holds a range
  // outside workers_, so the ranges below are all that is missing.
  SaveProgress();
}

// Order matters for a crash at any moment: the missing ranges are taken
// first, then every block counted as delivered is written and put on disk,
// and only then does the state file (replaced in one step) stop listing
// those bytes. A block delivered after the ranges were taken is simply
// fetched again.
void THttpDownload::SaveProgress() {
  if (stateSaveMs_ == 0 && stateSaveBytes_ == 0) return;
  const uint32_t now = plat::TickCount();
  if (lastSaveTick_ == 0) lastSaveTick_ = now;
  const int64_t received = receivedSize_.load();
  const bool due = (stateSaveMs_ && now - lastSaveTick_ >= stateSaveMs_) ||
                   (stateSaveBytes_ && received - lastSaveReceived_ >= stateSaveBytes_);
  if (!due || received == lastSaveReceived_) return;
  std::vector<TByteRange> missing;
  std::shared_ptr<TBGFileStream> writer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != Downloading || finishing_ || !chunks_ || !writer_) return;
    writer = writer_;
    missing = chunks_->Ranges();
    for (const auto& w : workers_) {
      if (!w) continue;
      if (const auto range = w->Range()) {
        const int64_t next = range->Start + w->Delivered();
        if (next <= range->End) missing.push_back({next, range->End});
      }
    }
  }
  lastSaveTick_ = now;
  lastSaveReceived_ = received;
  if (!writer->Sync(static_cast<int>(workerTimeoutMs_.load()))) return;  // try again next time
  std::lock_guard<std::mutex> guard(lock_);
  // Finished or stopped meanwhile: the state file is no longer ours to write.
  if (state_ != Downloading || finishing_ || !chunks_) return;
  std::sort(missing.begin(), missing.end(), [](const TByteRange& a, const TByteRange& b) { return a.Start > b.Start; });
  if (chunks_->SaveSnapshot(missing)) ++stateSaves_;
}

void THttpDownload::Finish(int windowBits) {
  std::shared_ptr<TBGFileStream> writer;
  std::unique_ptr<TDownLoadChunk> chunks;
  std::string name, dataFile, modified, inflated;
  {
    std::unique_lock<std::mutex> guard(lock_);
    dataIdle_.wait(guard, [this] { return dataCalls_ == 0; });
    writer = std::move(writer_);
    chunks = std::move(chunks_);
    name = saveDir_ + fileName_;
    dataFile = DataFile();
    inflated = InflatedFile();
    modified = lastModified_;
  }
  std::string error;
  if (!writer) {
    error = "no data file for " + name;
  } else {
    const bool flushed = fileSize_ < kFlushBeforeRenameBytes || writer->Sync(static_cast<int>(workerTimeoutMs_.load()));
    writer->Close();  // every queued block is written first
    if (writer->Failed())
      error = writer->ErrorText();
    else if (writtenSize_ < fileSize_)
      error = "only " + std::to_string(writtenSize_.load()) + " of " + std::to_string(fileSize_.load()) +
              " bytes reached " + dataFile;
    else if (!flushed)
      error = "Write Error: " + dataFile + " could not be put on disk";
    TFileDigests digests;
    // Inflated, the final file holds other bytes than the ones written.
    if (error.empty() && windowBits == 0 && writer->WrittenDigests(fileSize_, digests)) {
      std::lock_guard<std::mutex> guard(lock_);
      writtenDigests_ = std::move(digests);
    }
    writer.reset();
  }
  // The state file goes before the data file takes its final name: killed
  // in between, the next run finds a data file no state describes and
  // fetches it afresh, never a state for a file that is gone. A data file
  // that is not whole goes with it.
  if (chunks) chunks->Discard();
  chunks.reset();
  if (!error.empty()) plat::DeleteFile(dataFile);
  // Inflated beside the final name first, so that a crash or a full disk
  // never leaves part of a file under it.
  std::string source = dataFile;
  if (error.empty() && windowBits != 0) {
    plat::DebugOutput(Gbk("解压缩数据."));
    source = inflated;
    if (InflateFile(dataFile, source, windowBits, error)) {
      plat::ClearAttributes(dataFile);
      plat::DeleteFile(dataFile);
    } else {
      plat::DeleteFile(source);
      plat::DeleteFile(dataFile);
    }
  }
  if (error.empty()) {
    if (plat::FileExists(name)) {
      plat::ClearAttributes(name);
      plat::DeleteFile(name);
    }
    bool renamed = false;
    for (int attempt = 0; attempt < renameAttempts_ && !renamed; ++attempt) {
      if (attempt > 0) plat::SleepMs(kRenamePauseMs);
      renamed = plat::RenameFile(source, name);
    }
    if (!renamed) {
      error = "cannot rename " + source + " to " + name;
      plat::DeleteFile(source);
    }
  }
  if (error.empty()) {
    plat::TFileStream final;
    const double stamp = DecodeHttpDate(modified, 0);  // zone 0: the day number in UTC
    if (final.Open(name, plat::TFileStream::Mode::ReadWrite) && stamp != 0) {
      final.Close();
      plat::SetLastWriteTime(name, static_cast<int64_t>((stamp - 25569.0) * 86400.0 + 0.5));
    }
  }
  if (!error.empty()) {
    SetError(error);
    EnterState(Failed);
    plat::DebugOutput(error);
    RaiseFailed();
    return;
  }
  RaiseComplete();
}

}  // namespace lg
