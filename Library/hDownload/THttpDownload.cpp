#include "Library/hDownload/THttpDownload.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/WebText.h"
#include "common/AsciiCase.h"
#include "common/Gbk.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "common/SafePath.h"

namespace lg {
namespace {

using TAnswer = THttpWorker::THeaderAnswer;

std::string Format(const char* format, long long a, long long b = 0, long long c = 0, long long d = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, a, b, c, d);
  return buf;
}

}  // namespace

// The final file name from a URL: the text after its last '/' or '\', cut
// before its last '?'; a query that looks like "a=1&b=2" names the file by
// the text after the '?' instead.
std::string FileNameOfUrl(const std::string& url) {
  const size_t slash = url.find_last_of("/\\");
  const std::string last = slash == std::string::npos ? url : url.substr(slash + 1);
  const size_t query = last.rfind('?');
  if (last.find('&', 1) != std::string::npos)
    return query == std::string::npos ? std::string() : last.substr(query + 1);
  return query == std::string::npos ? last : last.substr(0, query);
}

THttpDownload::THttpDownload(uint8_t threadCount) : threadCount_(threadCount) {
  const std::string exe = plat::ExecutablePath();
  const size_t sep = exe.find_last_of("/\\");
  saveDir_ = sep == std::string::npos ? std::string() : exe.substr(0, sep + 1);
}

THttpDownload::~THttpDownload() {
  state_ = Stopping;
  std::vector<std::unique_ptr<THttpWorker>> workers;
  std::shared_ptr<TBGFileStream> writer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    writer = writer_;
    for (auto& w : workers_) workers.push_back(std::move(w));
  }
  // Writes held back by the queue's back-pressure return at once.
  if (writer) writer->Abort();
  for (auto& w : workers)
    if (w) w->Terminate();
  for (auto& w : workers)
    if (w) w->Join();  // each returns its unfinished range through OnStop
  workers.clear();
  // The writer is closed outside the lock: its last OnWrite events may ask
  // this object for its fields.
  {
    std::lock_guard<std::mutex> guard(lock_);
    writer = std::move(writer_);
  }
  if (writer) writer->Close();
  std::lock_guard<std::mutex> guard(lock_);
  // Blocks the writer could not write are missing from the data file: the
  // saved state must not claim them, so the next run starts afresh.
  if (writer && writer->Failed() && chunks_) chunks_->Discard();
  chunks_.reset();  // saves the state file
  // A data file that no state file describes can never be resumed (a single
  // connection's body, or a state the writer made untrue): an unfinished
  // download leaves nothing behind. A finished one has no data file left.
  if (ownsDataFile_ && !plat::FileExists(StateFile())) plat::DeleteFile(DataFile());
}

void THttpDownload::SetHosts(const std::vector<std::string>& hosts) {
  std::lock_guard<std::mutex> guard(lock_);
  hosts_ = hosts;
}

std::string THttpDownload::ErrorText() const {
  std::lock_guard<std::mutex> guard(errorLock_);
  return errorText_;
}

std::optional<TFileDigests> THttpDownload::WrittenDigests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writtenDigests_;
}

std::string THttpDownload::FileName() const {
  std::lock_guard<std::mutex> guard(lock_);
  return fileName_;
}

void THttpDownload::SetError(const std::string& text) {
  std::lock_guard<std::mutex> guard(errorLock_);
  errorText_ = text;
}

// Any state but Stopping, which only destruction sets and nothing leaves.
void THttpDownload::EnterState(TState next) {
  TState current = state_.load();
  while (current != Stopping && !state_.compare_exchange_weak(current, next)) {
  }
}

void THttpDownload::RaiseFailed() {
  if (ended_.exchange(true)) return;
  if (OnFailed) OnFailed(*this);
}

void THttpDownload::RaiseComplete() {
  if (ended_.exchange(true)) return;
  if (OnComplete) OnComplete(*this);
}

int THttpDownload::TargetCount() const {
  const int n = threadCount_.load();
  return n > 1 ? n * 2 : n;
}

std::string THttpDownload::DataFile() const {
  return saveDir_ + fileName_ + ".!tmp";
}

std::string THttpDownload::StateFile() const {
  return saveDir_ + fileName_ + ".!dl";
}

std::string THttpDownload::InflatedFile() const {
  return saveDir_ + fileName_ + ".!inf";
}

void THttpDownload::Start(const std::string& url, const std::string& saveDir, int64_t expectedSize) {
  TState idle = Idle;
  if (!state_.compare_exchange_strong(idle, Probing)) return;
  expectedSize_ = expectedSize;
  url_ = ReplaceAll(ReplaceAll(url, "\\\\", "/"), "\\", "/");
  if (!saveDir.empty()) {
    saveDir_ = saveDir;
    if (saveDir_.back() != '\\' && saveDir_.back() != '/') saveDir_ += '\\';
    plat::ForceDirectories(saveDir_);
  }
  auto request = std::make_unique<THttpHeader>();
  request->SetRequest("GET", url_);
  // The probe: one byte; pipelined, the first range answers the same
  // questions and brings data too.
  std::optional<TByteRange> first;
  if (threadCount_ != 0 && pool_) {
    first = TByteRange{0, kFirstRangeBytes - 1};
    request->SetRange(first->Start, first->End);
  } else if (threadCount_ != 0) {
    request->SetRange(ops::kProbeRangeStart, ops::kProbeRangeEnd);
  }
  std::lock_guard<std::mutex> guard(lock_);
  if (workers_.empty()) {
    if (threadCount_ == 0) threadCount_ = 1;
    StartWorkers();
  }
  idleCount_ = 0;
  startTick_ = plat::TickCount();
  busy_[0] = true;
  workers_[0]->AssignRequest(std::move(request), first);
}

void THttpDownload::StartWorkers() {
  const int count = threadCount_;
  workers_.resize(static_cast<size_t>(count));
  busy_.assign(static_cast<size_t>(count), false);
  for (int i = 0; i < count; ++i) {
    std::string host;
    if (!hosts_.empty()) {
      if (hostIndex_ >= hosts_.size()) hostIndex_ = 0;
      host = hosts_[hostIndex_++];
    }
    workers_[static_cast<size_t>(i)] = NewWorker(i, host);
    plat::DebugOutput(std::to_string(i + 1) + Gbk("# 线程创建."));
  }
}

std::unique_ptr<THttpWorker> THttpDownload::NewWorker(int slot, const std::string& host) {
  THttpWorker::TEvents events;
  events.OnData = [this](THttpWorker& w, const char* d, int32_t n, int64_t at) { return OnData(w, d, n, at); };
  events.OnHeader = [this](THttpWorker& w) { return OnHeader(w); };
  events.OnDone = [this](THttpWorker& w) { OnDone(w); };
  events.OnStop = [this](THttpWorker& w) { OnStop(w); };
  return std::make_unique<THttpWorker>(slot + 1, host, std::move(events), pool_);
}

TAnswer THttpDownload::OnHeader(THttpWorker& worker) {
  THttpHeader& response = worker.Response;
  THttpHeader& request = worker.Request();
  const int code = response.StatusCode;
  plat::DebugOutput(Format("%lld# %lld", worker.Index, code));
  if (state_ == Stopping || state_ == Failed) return TAnswer::Stop;
  const std::string peer = worker.Socket.PeerText();

  auto cookieStep = [&] {
    const std::string cookie = response.GetHeader("Set-Cookie");
    if (!cookie.empty()) request.SetHeader("Cookie", cookie);
    request.SetHeader("Referer", response.URL);
    return TAnswer::Follow;
  };

  if (code == 200) {
    if (state_ == Probing) return OnProbeAnswer200(worker);
    // A server that ignores the range sends the whole file: never write it
    // at this range's offset.
    return Refuse(worker, peer + " ignored the range " + request.GetHeader("Range") + " of " + request.Path);
  }
  if (code == 206) return OnAnswer206(worker);
  if (code == 301 || code == 302) {
    const int64_t start = request.RangeStart, end = request.RangeEnd;
    const bool ranged = !request.GetHeader("Range").empty();
    const std::string location = response.GetHeader("Location");
    request.SetRequest("GET", location);
    if (request.Port == 0) {
      // Only absolute http:// addresses are followed.
      SetError(peer + " " + std::to_string(code) + " to an address that cannot be followed: " + location);
      EnterState(Failed);
      return TAnswer::Stop;
    }
    if (ranged) request.SetRange(start, end);
    return cookieStep();
  }
  if (code == 416) {
    if (state_ == Probing) {
      // Asked again without a range: the whole body is the answer.
      {
        std::lock_guard<std::mutex> guard(lock_);
        worker.DropRange();
      }
      request.SetHeader("Range", "");
      SetError(peer + Gbk(":服务器不支持续传"));
      plat::DebugOutput(ErrorText());
      return cookieStep();
    }
    SetError(peer + Gbk(":续传范围错误:") + request.GetHeader("Range"));
    plat::DebugOutput(ErrorText());
    return TAnswer::Follow;
  }
  if (code > 0) {
    SetError(peer + " " + std::to_string(code) + " " + response.StatusText + " " + request.Path);
    EnterState(Failed);
    plat::DebugOutput(ErrorText());
  }
  return TAnswer::Stop;
}

TAnswer THttpDownload::OnProbeAnswer200(THttpWorker& worker) {
  firstAnswer_ = true;
  {
    // The whole body follows: a first range asked for no longer limits it.
    std::lock_guard<std::mutex> guard(lock_);
    worker.DropRange();
  }
  THttpHeader& response = worker.Response;
  const bool chunked = response.IsChunked();
  // Neither a length nor chunking: the body ends when the server closes.
  const bool untilClose = !chunked && response.GetHeader("Content-Length").empty();
  if (chunked || untilClose) {
    worker.Framing = chunked ? THttpWorker::TFraming::Chunked : THttpWorker::TFraming::UntilClose;
    std::lock_guard<std::mutex> guard(lock_);
    const std::string name = FileNameOfUrl(response.URL);
    if (!name.empty()) fileName_ = name;
    std::string modified = response.GetHeader("Last-Modified");
    lastModified_ = modified.empty() ? response.GetHeader("Date") : modified;
    if (!IsSafeRelativePath(fileName_)) {
      SetError("unusable file name \"" + fileName_ + "\" in " + response.URL);
      EnterState(Failed);
      return TAnswer::Stop;
    }
    plat::DeleteFile(StateFile());
    if (!OpenWriter(DataFile(), 0)) {
      EnterState(Failed);
      return TAnswer::Stop;
    }
    plat::DebugOutput(Gbk("采用CHUNKED模式单线程传输"));
  } else {
    if (!FirstResponse(worker, true, false)) {
      EnterState(Failed);
      return TAnswer::Stop;
    }
    if (threadCount_ >= 2) {
      plat::DebugOutput(Gbk("不支持续传，采用单线程下载"));
      threadCount_ = 1;
    }
  }
  TState probing = Probing;
  state_.compare_exchange_strong(probing, Downloading);
  return TAnswer::Continue;
}

TAnswer THttpDownload::OnAnswer206(THttpWorker& worker) {
  THttpHeader& response = worker.Response;
  const std::string peer = worker.Socket.PeerText();
  if (expectedSize_ > 0 && response.TotalSize != expectedSize_) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s File (%s) Length Error: %" PRId64 " <> %" PRId64, peer.c_str(),
                  worker.Request().Path.c_str(), response.TotalSize, expectedSize_);
    SetError(buf);
    EnterState(Failed);
    return TAnswer::Stop;
  }
  if (response.TotalSize <= 0) {
    SetError(peer + " answered " + worker.Request().Path + " with a range of no known total size");
    EnterState(Failed);
    return TAnswer::Stop;
  }
  // The first answer is the probe's: nothing else is asked before it.
  const bool wasProbing = !firstAnswer_.exchange(true);
  if (wasProbing) {
    if (!pool_) response.ContentLength = 0;  // the probe's one byte is not read
    if (FirstResponse(worker, true, true)) return TAnswer::Continue;
    EnterState(Failed);
    return TAnswer::Stop;
  }
  if (!FirstResponse(worker, false, true))
    return Refuse(worker, peer + " answered " + worker.Request().Path + " for another file (size " +
                              std::to_string(response.TotalSize) + ")");
  // An answer without body bytes would never make progress.
  if (worker.Framing == THttpWorker::TFraming::Identity && response.ContentLength < 1)
    return Refuse(worker, peer + " sent an empty range of " + worker.Request().Path);
  return TAnswer::Continue;
}

// The answer cannot be used for this range: the range goes back to the pool
// for the other workers and this worker takes no more.
TAnswer THttpDownload::Refuse(THttpWorker& worker, const std::string& why) {
  worker.Retired = true;
  SetError(why);
  plat::DebugOutput(why);
  return TAnswer::Stop;
}

bool THttpDownload::FirstResponse(THttpWorker& worker, bool wasFirst, bool ranged) {
  THttpHeader& response = worker.Response;
  const std::string name = FileNameOfUrl(response.URL);
  std::unique_lock<std::mutex> guard(lock_);
  if (!wasFirst) return response.TotalSize == fileSize_ && SameText(name, fileName_);
  if (!IsSafeRelativePath(name)) {
    SetError("unusable file name \"" + name + "\" in " + response.URL);
    return false;
  }
  fileName_ = name;
  const int64_t size = response.TotalSize != 0 ? response.TotalSize : response.ContentLength;
  fileSize_ = size;
  const std::string modified = response.GetHeader("Last-Modified");
  lastModified_ = modified.empty() ? response.GetHeader("Date") : modified;
  if (!ranged) {
    // A 200 rewrites the data file from its start: an older state no longer
    // describes it. An empty file is a file too.
    plat::DeleteFile(StateFile());
    const bool emptyFile = size == 0 && response.GetHeader("Content-Length") == "0";
    if (size < 0 || (size == 0 && !emptyFile)) {
      SetError("no usable length in the answer for " + response.URL);
      return false;
    }
    return writer_ != nullptr || OpenWriter(DataFile(), 0);
  }
  // Pipelined, this answer's range is fetched while the rest waits in the
  // pool; the range ends with the file.
  int64_t firstFree = 0;
  if (pool_ && worker.Range()) {
    worker.ClipRange(fileSize_ - 1);
    firstFree = worker.Range()->End + 1;
  }
  if (Resume(StateFile(), DataFile())) {
    if (pool_) {
      // The resumed pool has the first range's missing bytes already: this
      // answer is read no further, like the probe's (its connection closes).
      response.ContentLength = 0;
      worker.DropRange();
    }
  } else if (!CreateState(StateFile(), DataFile(), firstFree)) {
    return false;
  }
  // Size, pool and resumed byte count are in place before anyone sees the
  // new state, and before any range is asked for.
  TState probing = Probing;
  state_.compare_exchange_strong(probing, Downloading);
  // A worker left without a range counts as idle, like one that finds the
  // pool empty later.
  for (size_t slot = 1; slot < workers_.size(); ++slot) {
    if (workers_[slot]) HandOutNext(*workers_[slot], "%lld# 线程开始.%lld->%lld(%lld)");
  }
  plat::DebugOutput(Gbk("创建了 ") + std::to_string(threadCount_.load()) + Gbk(" 个下载线程."));
  return true;
}

// Everything outside the saved ranges must already be in the data file; a
// state that claims more than the data file holds is not trusted.
bool THttpDownload::Resume(const std::string& stateFile, const std::string& dataFile) {
  if (!plat::FileExists(stateFile) || !plat::FileExists(dataFile)) return false;
  std::string text;
  if (!plat::ReadWholeFile(stateFile, text)) return false;
  const auto savedSize = ProfileValue(text, "Setup", "FileSize");
  if (!savedSize || ParseDecimalLength(*savedSize) != fileSize_) return false;
  auto chunks = std::make_unique<TDownLoadChunk>();
  if (!chunks->LoadAndSplit(stateFile, TargetCount(), fileSize_)) return false;
  std::vector<TByteRange> ranges = chunks->Ranges();
  if (ranges.empty()) return false;
  std::sort(ranges.begin(), ranges.end(), [](const TByteRange& a, const TByteRange& b) { return a.Start > b.Start; });
  int64_t lastPresent = fileSize_ - 1;
  for (const TByteRange& r : ranges)
    if (r.End == lastPresent) lastPresent = r.Start - 1;
  if (lastPresent >= plat::FileSize(dataFile)) return false;
  if (!OpenWriter(dataFile, fileSize_)) return false;
  receivedSize_ = fileSize_ - chunks->RemainingBytes();
  writtenSize_ = receivedSize_.load();
  chunks_ = std::move(chunks);
  return true;
}

bool THttpDownload::CreateState(const std::string& stateFile, const std::string& dataFile, int64_t firstFree) {
  receivedSize_ = 0;
  writtenSize_ = 0;
  // A fresh file: the ranges of an earlier state must not survive next to
  // the new data, not even if this run is killed before its first save.
  // The new state is first written by that save (or when the download stops
  // unfinished), so a file that comes in a moment never creates one.
  std::string text = WithProfileValue("", "Setup", "URL", url_);
  text = WithProfileValue(text, "Setup", "LastModified", lastModified_);
  text = WithProfileValue(text, "Setup", "FileSize", std::to_string(fileSize_.load()));
  chunks_ = std::make_unique<TDownLoadChunk>();
  if (!chunks_->InitRange(stateFile, TargetCount(), firstFree, fileSize_ - 1, std::move(text))) {
    SetError("cannot write " + stateFile);
    return false;
  }
  return OpenWriter(dataFile, fileSize_);
}

// Opens the writer; the data file keeps its content but never more than
// `truncateTo` bytes, so the final file has no bytes beyond the file's size.
bool THttpDownload::OpenWriter(const std::string& dataFile, int64_t truncateTo) {
  {
    plat::TFileStream file;
    if (file.Open(dataFile, plat::TFileStream::Mode::OpenOrCreate) && file.Size() > truncateTo &&
        !file.Truncate(truncateTo)) {
      SetError("cannot shorten " + dataFile);
      return false;
    }
  }
  // A data file that will be flushed (at every save of the progress, or
  // before its final name) goes to the disk as it is written, so no flush
  // has to wait for much.
  const bool flushed = stateSaveMs_ != 0 || stateSaveBytes_ != 0 || fileSize_ >= kFlushBeforeRenameBytes;
  auto writer = std::make_shared<TBGFileStream>(dataFile, flushed);
  if (!writer->IsOpen()) {
    SetError("cannot open " + dataFile);
    return false;
  }
  if (keepDigests_) writer->FollowDigests(withSha256_);
  writer->OnWritten = [this](int32_t n) {
    const int64_t written = writtenSize_ += n;
    if (OnWrite) OnWrite(*this, plat::TickCount() - startTick_, written, fileSize_.load());
  };
  writer_ = std::move(writer);
  ownsDataFile_ = true;
  return true;
}

std::unique_ptr<THttpHeader> THttpDownload::GetNextRequest(std::optional<TByteRange>& range) {
  range.reset();
  if (!chunks_) return nullptr;
  range = chunks_->PopRange();
  if (!range) {
    ++idleCount_;
    return nullptr;
  }
  auto request = std::make_unique<THttpHeader>();
  request->SetRequest("GET", url_);
  request->SetRange(range->Start, range->End);
  return request;
}

// Under lock_. False when the pool had nothing left.
// A range given back after the other workers found the pool empty would
// otherwise wait for nobody: hand it to a worker that is idle but may still
// work (not retired, not being replaced). Such a worker was counted idle
// when it found the pool empty, and is counted again by a hand-out that
// finds nothing: either way it leaves the count once here.
void THttpDownload::WakeIdleWorkers(const THttpWorker& returning) {
  for (size_t i = 0; i < workers_.size(); ++i) {
    THttpWorker* w = workers_[i].get();
    if (!w || w == &returning || busy_[i] || w->Retired || w->Terminated()) continue;
    const bool handed = HandOutNext(*w, "%lld# 线程开始:%lld->%lld(%lld)");
    --idleCount_;
    if (!handed) return;
  }
}

bool THttpDownload::HandOutNext(THttpWorker& worker, const char* logFormat) {
  std::optional<TByteRange> range;
  auto request = GetNextRequest(range);
  if (!request) return false;
  plat::DebugOutput(Format(Gbk(logFormat).c_str(), worker.Index, range->Start, range->End, range->Length()));
  busy_[static_cast<size_t>(worker.Index - 1)] = true;
  worker.AssignRequest(std::move(request), range);
  return true;
}

}  // namespace lg
