// THttpDownload, second half: what the workers report (data, done, stop),
// the owner's time-out sweep, and the finish step.
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
    std::lock_guard<std::mutex> guard(Lock_);
    if (State_ == Stopping || State_ == Failed || finishing_ || !Writer_) return false;
    writer = Writer_;
    ++dataCalls_;
  }
  const bool queued = writer->Write(data, length, offset);
  {
    std::lock_guard<std::mutex> guard(Lock_);
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
  const int64_t received = ReceivedSize_ += length;
  plat::DebugOutput(Numbers("%lld# %lld/%lld", worker.Index, length, received));
  if (OnReceive) OnReceive(*this, plat::TickCount() - StartTick_, received, FileSize_.load());
  return true;
}

void THttpDownload::OnDone(THttpWorker& worker) {
  const size_t slot = static_cast<size_t>(worker.Index - 1);
  std::unique_lock<std::mutex> guard(Lock_);
  if (slot >= Workers_.size()) return;
  plat::DebugOutput(std::to_string(worker.Index) + Gbk("# 线程--完成"));
  bool fail = false;
  if (const auto range = worker.Range()) {
    worker.DropRange();
    const int64_t delivered = worker.Delivered();
    // A short answer leaves the rest of its range for the next request.
    if (delivered < range->Length() && Chunks_) Chunks_->AddRange(range->Start + delivered, range->End);
    if (delivered == 0) {
      worker.Retired = true;
      SetError(worker.Socket.PeerText() + " sent no bytes for the range " + std::to_string(range->Start) + "-" +
               std::to_string(range->End));
    }
  }
  if (FileSize_ == 0) FileSize_ = worker.Response.Received;  // size learned at the end
  if (ReceivedSize_ >= FileSize_) {
    if (finishing_) return;
    finishing_ = true;
    worker.ActivityTick = 0;  // inflating a large file is no stall
    const int bits = worker.Response.ContentWindowBits();
    guard.unlock();
    Finish(bits);
    return;
  }
  if (State_ == Stopping) {
    busy_[slot] = false;
    return;
  }
  if (worker.Retired || !HandOutNext(worker, "%lld# 线程开始:%lld->%lld(%lld)")) {
    busy_[slot] = false;
    plat::DebugOutput(std::to_string(worker.Index) + "# 线程停止. finish");
    if (worker.Retired) ++IdleCount_;
    fail = IdleCount_ >= ThreadCount_;
    if (fail && ErrorText().empty())
      SetError(std::to_string(FileSize_ - ReceivedSize_) + " bytes of " + URL_ + " could not be fetched");
  }
  guard.unlock();
  if (fail) RaiseFailed();
}

void THttpDownload::OnStop(THttpWorker& worker) {
  const size_t slot = static_cast<size_t>(worker.Index - 1);
  std::unique_lock<std::mutex> guard(Lock_);
  bool fail = State_ == Failed;
  const auto range = worker.Range();
  if (range && Chunks_) {
    worker.DropRange();
    const int64_t next = range->Start + worker.Delivered();
    if (next <= range->End) Chunks_->AddRange(next, range->End);
    if (!fail && State_ != Stopping && slot < Workers_.size()) {
      THttpWorker* target = &worker;
      if (worker.Terminated()) {
        // Replaced after a time-out: a fresh worker takes the slot. The old
        // one was already taken out of it by CheckTimeout.
        Workers_[slot] = NewWorker(static_cast<int>(slot), worker.HostOverride);
        target = Workers_[slot].get();
      } else if (worker.Failures >= THttpWorker::kMaxFailures) {
        worker.Retired = true;
        SetError(std::to_string(worker.Failures) + " requests for " + worker.Request().Path + " to " +
                 (worker.Socket.PeerText().empty() ? worker.Request().Host : worker.Socket.PeerText()) +
                 " failed: " + worker.Socket.LastErrorText());
      }
      if (target->Retired) {
        busy_[slot] = false;
        ++IdleCount_;
        fail = IdleCount_ >= ThreadCount_;
      } else if (HandOutNext(*target, "%lld# 线程重启:%lld->%lld")) {
      } else {
        busy_[slot] = false;
        plat::DebugOutput(std::to_string(worker.Index) + Gbk("# 线程停止.Reclaim."));
        fail = IdleCount_ >= ThreadCount_;
      }
      if (fail && ErrorText().empty()) SetError("no worker left for the missing bytes of " + URL_);
    } else if (slot < busy_.size() && !worker.Terminated()) {
      busy_[slot] = false;
    }
  } else {
    if (slot < busy_.size() && !worker.Terminated()) busy_[slot] = false;
    // One connection carries the whole body: when it breaks there is no
    // range to give back, and waiting would never end.
    if (!fail && !Chunks_ && State_ == Downloading && !finishing_ && worker.HasRequest()) {
      SetError(worker.Socket.PeerText() + " " + worker.Request().Path + ": the transfer broke off after " +
               std::to_string(ReceivedSize_.load()) + " bytes " + worker.Socket.LastErrorText());
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
    std::lock_guard<std::mutex> guard(Lock_);
    count = Workers_.size();
  }
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<THttpWorker> victim;
    {
      std::lock_guard<std::mutex> guard(Lock_);
      if (!Workers_[i] || !Workers_[i]->IsTimedOut(now, limit)) continue;
      victim = std::move(Workers_[i]);
      busy_[i] = false;
    }
    plat::DebugOutput(std::to_string(i + 1) + Gbk("# 线程超时"));
    // Its thread ends with OnStop, which returns the range and puts a new
    // worker into the slot.
    victim->Terminate();
    victim->Join();
    victim.reset();
    if (i == 0 && (State_ == Probing || ReceivedSize_ == 0) && !ended_) {
      SetError(Gbk("超时错误"));
      EnterState(Failed);
      RaiseFailed();
    }
  }
  // Nobody is working and the file is not whole: a download that cannot end.
  bool stalled = false;
  {
    std::lock_guard<std::mutex> guard(Lock_);
    if (State_ == Downloading && Chunks_ && !finishing_ && !ended_) {
      stalled = true;
      for (bool b : busy_) stalled = stalled && !b;
    }
  }
  if (stalled) {
    if (ErrorText().empty()) SetError("no worker left for the missing bytes of " + URL_);
    EnterState(Failed);
    RaiseFailed();
  }
}

void THttpDownload::Finish(int windowBits) {
  std::shared_ptr<TBGFileStream> writer;
  std::unique_ptr<TDownLoadChunk> chunks;
  std::string name, dataFile, modified;
  {
    std::unique_lock<std::mutex> guard(Lock_);
    dataIdle_.wait(guard, [this] { return dataCalls_ == 0; });
    writer = std::move(Writer_);
    chunks = std::move(Chunks_);
    name = SaveDir_ + FileName_;
    dataFile = DataFile();
    modified = LastModified_;
  }
  std::string error;
  if (!writer) {
    error = "no data file for " + name;
  } else {
    writer->Close();  // every queued block is written first
    if (writer->Failed())
      error = writer->ErrorText();
    else if (WrittenSize_ < FileSize_)
      error = "only " + std::to_string(WrittenSize_.load()) + " of " + std::to_string(FileSize_.load()) +
              " bytes reached " + dataFile;
    writer.reset();
  }
  if (error.empty() && windowBits != 0) {
    plat::DebugOutput(Gbk("解压缩数据."));
    if (InflateFile(dataFile, name, windowBits, error)) {
      plat::ClearAttributes(dataFile);
      plat::DeleteFile(dataFile);
    } else {
      plat::DeleteFile(name);  // never leave a half-inflated file under the real name
    }
  } else if (error.empty()) {
    if (plat::FileExists(name)) {
      plat::ClearAttributes(name);
      plat::DeleteFile(name);
    }
    bool renamed = false;
    for (int attempt = 0; attempt < renameAttempts_ && !renamed; ++attempt) {
      if (attempt > 0) plat::SleepMs(kRenamePauseMs);
      renamed = plat::RenameFile(dataFile, name);
    }
    if (!renamed) error = "cannot rename " + dataFile + " to " + name;
  }
  if (error.empty()) {
    plat::TFileStream final;
    const double stamp = DecodeHttpDate(modified, 0);  // zone 0: the day number in UTC
    if (final.Open(name, plat::TFileStream::Mode::ReadWrite) && stamp != 0) {
      final.Close();
      plat::SetLastWriteTime(name, static_cast<int64_t>((stamp - 25569.0) * 86400.0 + 0.5));
    }
  }
  chunks.reset();  // no range left: the state file goes
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
