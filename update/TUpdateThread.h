// TUpdateThread: one update pass in the background. It fetches the pass's
// manifest (falling back to other addresses of the content host), compares
// it with what is installed, downloads and verifies what is out of date
// (unpacking zipped entries), brings the launcher's own executable in
// through its ".update" companion, and can install a full package instead
// when the installation is far behind. Everything the window shows reaches
// it as posted messages (UpdateMessages.h) through the sink.
//
// Threads: construction starts the pass at once on a thread of its own.
// The owner (the main window, or the headless updater) may afterwards call
// UpdateMode, Terminate, Finished, WaitFor, LeftFailing and the destructor;
// nothing else. The destructor stops a running pass: it requests a stop,
// aborts a document fetch blocked in the network, ends a download wait at
// once, waits for the thread, and writes the update log to "UpdateLog.txt".
// The downloader's events run on its threads and only post, log (the log
// has its own lock) or set the atomic download state.
//
// Owns the local state table, the manifest, the download list, the log and
// any document fetch or downloader of the pass. The sink must outlive it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Library/hDownload/TWrittenDigest.h"
#include "common/Crypto.h"
#include "common/Event.h"
#include "update/IMessageSink.h"
#include "update/TLocalFileInfo.h"
#include "update/TUpdateLog.h"
#include "update/TUpdateState.h"
#include "update/json/TzqJSON.h"
#include "update/zip/ZipUnpack.h"

namespace lg {

class TConnectionPool;
class THttpDownload;
class THttpGetDocument;
class TSignatureCheck;

struct TUpdateThreadOptions {
  // The system resolver step of the address fallback (host name to dotted
  // addresses). Empty: ResolveHostList. Tests point it at a fake resolver.
  std::function<void(const std::string& host, std::vector<std::string>& list)> ResolveHost;
  // Where archive errors go (a message box in the launcher); may be null.
  IZipErrorReporter* ZipErrors = nullptr;
  // The deployment's update key (128 hex digits, see ManifestSignature.h).
  // Empty: manifests are taken unsigned and files checked by MD5 only, as
  // always. Set: every manifest needs its signature and every file its
  // SHA-256; a key that does not parse accepts nothing.
  std::string PublicKey;
  // The pipelined transfer mode (see THttpDownload::SetPipelined): the
  // pass's downloads share one pool of kept-alive connections. Off: every
  // request has a connection of its own, as always.
  bool Pipelined = false;
};

class TUpdateThread : private IUnzipHost {
 public:
  static constexpr int kMaxSweeps = 3;
  static constexpr int64_t kSingleConnectionMax = 4096;
  static constexpr uint8_t kManyConnections = 5;
  static constexpr int kWaitStepMs = 10;
  // Pipelined mode: records fetched side by side in a sweep, and the
  // connections they share. Each connection's worker holds a 1 MiB buffer,
  // so the budget bounds the memory of a sweep as well.
  static constexpr int kFilesInFlight = 5;
  static constexpr int kSweepConnections = 10;

  // Download states, set by the downloader's events.
  enum : uint8_t { kDownloading = 0, kDownloadFailed = 1, kDownloadComplete = 2 };

  // Reads "UpdateNow" from "launcher.ini" in the launcher's folder and
  // starts the pass. `urlBase` is used exactly as configured; the pass
  // number chooses the manifest and the local state file.
  TUpdateThread(IMessageSink& window, int pass, std::string urlBase, TUpdateThreadOptions options = {});
  ~TUpdateThread();
  TUpdateThread(const TUpdateThread&) = delete;
  TUpdateThread& operator=(const TUpdateThread&) = delete;

  // The low 8 bits of "UpdateNow" as read at construction. The run's own
  // working copy changes later; this one never does, so the owner may read
  // it at any time.
  uint8_t UpdateMode() const { return initialMode_; }
  int Pass() const { return pass_; }

  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // The thread's function has returned.
  bool Finished() const { return finished_.load(); }
  // Waits for the thread to end (owner's thread only).
  void WaitFor();
  // Files whose records were still in the download list after the last
  // sweep (each failed every sweep), as `File` of their manifest entries.
  std::vector<std::string> LeftFailing() const;
  // The update log so far (tests and the headless updater).
  std::vector<std::string> LogLines() const { return log_.Lines(); }

 private:
  // Thread entry: no exception leaves it.
  void Run();
  int Execute();
  bool FetchManifestWithFallback();
  bool TryAddresses(std::vector<std::string>& candidates, const char* logPrefix);
  bool FetchManifest(const std::string& address);
  // With a key: fetches "<url>.sig" and checks it for `text`, published as
  // `name`, against the lowest acceptable sequence. One log line names the
  // reason of a refusal. `sequence` receives the accepted one.
  bool AcceptSigned(const std::string& url, const std::string& address, const std::string& name,
                    const std::string& text, uint64_t lowest, uint64_t& sequence);
  // AcceptSigned in two steps, for work in between: the check starts (null
  // once stopped), the current fetch being its own until the caller sets
  // another; AcceptSignature waits for it and logs a refusal.
  std::unique_ptr<TSignatureCheck> StartSignatureCheck(const std::string& url, const std::string& address,
                                                       const std::string& name, std::string_view text, uint64_t lowest);
  bool AcceptSignature(TSignatureCheck& check, const std::string& name, uint64_t& sequence);
  // With a key every entry of the manifest carries a well-formed "Sha256":
  // empty when so, otherwise the log line that names the first without.
  std::string MissingStrongDigest(const TzqJSONbase* doc) const;
  // How one record is fetched: its download's name, URL, folder and
  // connections, and where it goes afterwards.
  struct TRecordPlan {
    std::string Name;  // with ".zip" for a zipped entry
    std::string Url;
    std::string WorkDir;
    uint8_t Connections = 1;
    bool KeepArchive = false;
    bool ToCompanion = false;
  };
  TRecordPlan PlanRecord(const TLocalFileInfo& record) const;
  std::string DownloadingText(const TRecordPlan& plan, int position, int count) const;
  void ShowFailure(const TRecordPlan& plan, const std::string& failure);
  bool DownloadRecord(const TLocalFileInfo& record, int position, int count);
  // Where a download put its file, and the digests its writer worked out
  // on the way (none when it could not).
  struct TSavedFile {
    std::string Path;
    std::optional<TFileDigests> Digests;
  };
  // After the download: moves, unpacks, places and verifies the saved file.
  bool FinishRecord(const TLocalFileInfo& record, const TRecordPlan& plan, const TSavedFile& saved);
  // Pipelined mode: one sweep over downloads_ with up to kFilesInFlight
  // records fetched side by side over at most kSweepConnections
  // connections; the launcher's own record alone. Returns which records
  // were fetched (index in downloads_).
  std::vector<bool> SweepSideBySide();
  struct TFlight;
  // Its download gets its planned connections, at most `connectionsLeft`.
  std::unique_ptr<TFlight> StartFlight(size_t index, int position, int count, int connectionsLeft);
  bool EndFlight(TFlight& flight);
  void PostFlightProgress(int64_t total);
  bool UnpackRecord(const TLocalFileInfo& record, const std::string& archive, const std::string& workDir);
  bool PlaceCompanion(const std::string& staged);
  // `written`: the file's digests as its download wrote it, or null to read
  // the file for them. `strongMismatch`: the MD5 matched but the SHA-256
  // (checked with a key) did not.
  bool VerifyFile(const std::string& localName, const std::string& expected, const TStrongDigest& expectedSha256,
                  const TFileDigests* written, bool& strongMismatch);
  bool FullPackageUpdate();
  // Downloads `url` into `dir`; `saved` receives where the downloader put
  // the file, `failure` the downloader's error text when it failed.
  // Returns the download state.
  uint8_t DownloadInto(const std::string& url, const std::string& dir, int64_t size, uint8_t connections,
                       TSavedFile& saved, std::string& failure);

  // Publishes the fetch so that the destructor can abort it; false when a
  // stop was requested already.
  bool SetCurrentFetch(THttpGetDocument* fetch);

  void AddLog(const std::string& text) override { log_.Log(text); }
  void ShowStatus(const std::string& text) override;
  void FilePercent(int percent) override;
  void TotalPercent(int percent) override;
  bool StopRequested() const override { return Terminated(); }
  IZipErrorReporter* ErrorReporter() override { return options_.ZipErrors; }

  void PostPair(uint32_t message, int64_t wParam, int64_t lParam);
  void WriteUpdateNow(int value);
  std::string StagingDir() const;

  IMessageSink& window_;
  const int pass_;
  const std::string urlBase_;
  const std::string folder_;   // the launcher's folder, trailing separator
  const std::string exeName_;  // the launcher's own file name
  const std::string manifestName_;
  TUpdateThreadOptions options_;
  const bool keyed_;
  crypto::TPublicKey key_{};
  uint8_t initialMode_ = 0;
  uint8_t mode_ = 0;  // the run's working copy (update thread only)

  TUpdateLog log_;
  TUpdateState state_;
  TDownloadList downloads_;
  // The address the manifest came through when the content host's name
  // did not work directly; the downloads use it too. Empty otherwise.
  std::string contentAddress_;
  // Pipelined mode: the kept connections of the pass's downloads (update
  // thread and the downloaders' workers; the pool has its own lock).
  std::shared_ptr<TConnectionPool> connections_;
  // Side-by-side sweeps: where the pass stood when the flights in the air
  // began, their bytes received since, when they began, and the flight
  // whose file progress is shown (compared, never followed). Set by the
  // update thread while no flight runs, read by the downloaders' events.
  std::atomic<int64_t> flightBase_{0};
  std::atomic<int64_t> flightBytes_{0};
  std::atomic<uint32_t> flightStart_{0};
  std::atomic<const TFlight*> shownFlight_{nullptr};

  std::atomic<uint8_t> downloadState_{kDownloading};
  TEvent wake_;  // a download ended or a stop was requested

  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};

  mutable std::mutex lock_;  // guards currentFetch_ and leftFailing_
  THttpGetDocument* currentFetch_ = nullptr;
  std::vector<std::string> leftFailing_;

  std::thread thread_;  // last: started when everything above exists
};

}  // namespace lg
