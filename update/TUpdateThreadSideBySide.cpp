// TUpdateThread, pipelined sweeps: records fetched side by side over the
// pass's kept connections, small and large alike, within one budget of
// connections for the whole sweep. Each keeps its own download (data file,
// state file), and its verification, unpacking and companion step run on
// the update thread one after the other as the downloads end, exactly as
// in the one-by-one sweep.
#include <algorithm>
#include <memory>

#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/THttpDownload.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "update/TUpdateThread.h"
#include "update/UpdateMessages.h"

namespace lg {

// Connections the sweep's workers give back are kept for the next ranges.
static_assert(TUpdateThread::kSweepConnections <= static_cast<int>(TConnectionPool::kMaxIdlePerHost));

struct TUpdateThread::TFlight {
  size_t Index = 0;  // in downloads_
  TRecordPlan Plan;
  std::string Status;  // its "downloading" line
  std::unique_ptr<THttpDownload> Download;
  std::atomic<uint8_t> State{kDownloading};
  std::string Failure;  // written by the event that ends the download, read after State changed
  // The largest byte count of this download already added to flightBytes_
  // (its workers report out of order).
  std::atomic<int64_t> Counted{0};
};

void TUpdateThread::PostFlightProgress(int64_t total) {
  const int64_t all = flightBytes_.load();
  PostPair(WM_UPDATE_PROGRESS, flightBase_.load() + all, total);
  PostPair(WM_UPDATE_SPEED, all, plat::TickCount() - flightStart_.load());
}

std::unique_ptr<TUpdateThread::TFlight> TUpdateThread::StartFlight(size_t index, int position, int count,
                                                                   int connectionsLeft) {
  const TLocalFileInfo& record = *downloads_[index];
  auto flight = std::make_unique<TFlight>();
  TFlight* f = flight.get();
  f->Index = index;
  f->Plan = PlanRecord(record);
  // A large record starting beside others gets what the budget has left;
  // its ranges are shared by fewer workers, never lost.
  f->Plan.Connections = static_cast<uint8_t>(std::min<int>(f->Plan.Connections, connectionsLeft));
  f->Status = DownloadingText(f->Plan, position, count);
  auto download = std::make_unique<THttpDownload>(f->Plan.Connections);
  download->SetPipelined(connections_);
  download->KeepDigests(keyed_);
  download->OnComplete = [this, f](THttpDownload&) {
    f->State = kDownloadComplete;
    wake_.Set();
  };
  download->OnFailed = [this, f](THttpDownload& d) {
    f->Failure = d.ErrorText();
    AddLog(f->Failure);
    f->State = kDownloadFailed;
    wake_.Set();
  };
  // The events get the pass's total as it stands now instead of reading
  // the thread's own.
  const int64_t total = state_.BytesTotal;
  download->OnReceive = [this, f, total](THttpDownload&, uint32_t, int64_t received, int64_t) {
    int64_t counted = f->Counted.load();
    while (received > counted && !f->Counted.compare_exchange_weak(counted, received)) {
    }
    if (received > counted) flightBytes_ += received - counted;
    PostFlightProgress(total);
  };
  download->OnWrite = [this, f](THttpDownload&, uint32_t, int64_t written, int64_t fileSize) {
    if (shownFlight_.load() == f) PostPair(WM_UPDATE_FILEPROGRESS, written, fileSize);
  };
  plat::ForceDirectories(f->Plan.WorkDir);
  download->SetHosts(contentAddress_.empty() ? std::vector<std::string>{} : std::vector<std::string>{contentAddress_});
  ShowStatus(f->Status);
  shownFlight_ = f;
  f->Download = std::move(download);
  // An answer can end the download before Start returns: everything its
  // events touch is in place.
  f->Download->Start(f->Plan.Url, f->Plan.WorkDir, record.SizeOrAge);
  AddLog(Gbk("下载 ") + f->Download->URL());
  return flight;
}

bool TUpdateThread::EndFlight(TFlight& flight) {
  TSavedFile saved;
  saved.Path = flight.Download->SaveDir() + flight.Download->FileName();
  saved.Digests = flight.Download->WrittenDigests();
  flight.Download.reset();  // its threads have ended after this
  if (flight.State != kDownloadComplete) {
    ShowFailure(flight.Plan, flight.Failure);
    return false;
  }
  return FinishRecord(*downloads_[flight.Index], flight.Plan, saved);
}

std::vector<bool> TUpdateThread::SweepSideBySide() {
  const int count = static_cast<int>(downloads_.size());
  std::vector<bool> fetched(static_cast<size_t>(count), false);
  std::vector<std::unique_ptr<TFlight>> flights;
  auto connectionsInUse = [&flights] {
    int used = 0;
    for (const auto& f : flights) used += f->Plan.Connections;
    return used;
  };
  // Taken from the end of the list, positions counting up, as one by one.
  int next = count - 1;
  while (!Terminated()) {
    while (next >= 0 && static_cast<int>(flights.size()) < kFilesInFlight) {
      const size_t index = static_cast<size_t>(next);
      const TLocalFileInfo& record = *downloads_[index];
      // The launcher's own record waits for the flights in the air and
      // then goes alone, its staging and companion step exactly as in the
      // one-by-one sweep.
      if (record.IsLauncher != 0) {
        if (!flights.empty()) break;
        fetched[index] = DownloadRecord(record, count - next, count);
        --next;
        if (Terminated()) break;
        continue;
      }
      const int connectionsLeft = kSweepConnections - connectionsInUse();
      if (connectionsLeft < 1) break;  // the next record waits for a flight to end
      if (flights.empty()) {
        flightBase_ = state_.BytesDone;
        flightBytes_ = 0;
        flightStart_ = plat::TickCount();
        PostPair(WM_UPDATE_PROGRESS, state_.BytesDone, state_.BytesTotal);
        PostPair(WM_UPDATE_SPEED, 0, 0);
      }
      flights.push_back(StartFlight(index, count - next, count, connectionsLeft));
      --next;
    }
    if (flights.empty() || Terminated()) break;
    wake_.Reset();
    bool ended = false;
    for (const auto& f : flights) {
      f->Download->CheckTimeout();
      ended = ended || f->State != kDownloading;
    }
    if (!ended) wake_.WaitFor(kWaitStepMs);
    for (auto it = flights.begin(); it != flights.end();) {
      if ((*it)->State == kDownloading) {
        ++it;
        continue;
      }
      fetched[(*it)->Index] = EndFlight(**it);
      it = flights.erase(it);
      // The line shows a download still in the air.
      if (!flights.empty() && shownFlight_.load() != flights.back().get()) {
        shownFlight_ = flights.back().get();
        ShowStatus(flights.back()->Status);
      }
    }
  }
  flights.clear();  // stopped: each download saves its state and ends
  shownFlight_ = nullptr;
  // Every download's threads have ended, so no event posts after this: the
  // position ends where the installed files put it, whatever order the
  // workers' last reports arrived in.
  if (!Terminated()) PostPair(WM_UPDATE_PROGRESS, state_.BytesDone, state_.BytesTotal);
  return fetched;
}

}  // namespace lg
