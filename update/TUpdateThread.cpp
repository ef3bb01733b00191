// TUpdateThread, first half: life cycle, the run's steps, and the manifest
// fetch with its address fallback. Downloads, verification and the full
// package are in TUpdateThreadDownload.cpp.
#include "update/TUpdateThread.h"

#include <exception>

#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/THttpGetDocument.h"
#include "Library/hDownload/THttpHeader.h"
#include "common/Deployment.h"
#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "common/SettingsNames.h"
#include "common/Sha256.h"
#include "net/udp/HostResolve.h"
#include "update/ManifestDigestText.h"
#include "update/ManifestSignature.h"
#include "update/SignatureCheck.h"
#include "update/UpdateMessages.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {

TUpdateThread::TUpdateThread(IMessageSink& window, int pass, std::string urlBase, TUpdateThreadOptions options)
    : window_(window),
      pass_(pass),
      urlBase_(std::move(urlBase)),
      folder_(LauncherFolder()),
      exeName_(ExeName()),
      manifestName_(TUpdateState::ManifestName(pass)),
      options_(std::move(options)),
      keyed_(!options_.PublicKey.empty()),
      state_(folder_, exeName_, pass, log_, window, [this] { return Terminated(); }) {
  if (!options_.ResolveHost) options_.ResolveHost = ResolveHostList;
  if (options_.Pipelined) connections_ = std::make_shared<TConnectionPool>();
  if (keyed_) {
    // A key that does not parse stays all zero: no signature verifies.
    if (!ParsePublicKeyText(options_.PublicKey, key_)) key_ = {};
    state_.UseStrongDigests();
  }
  const int now = ReadProfileInt(folder_ + kSettingsFileName, kSettingsSection, kKeyUpdateNow, 0);
  initialMode_ = static_cast<uint8_t>(now & 0xFF);
  mode_ = initialMode_;
  thread_ = std::thread([this] { Run(); });
}

TUpdateThread::~TUpdateThread() {
  Terminate();
  {
    // A fetch blocked in connect, send or receive returns at once; the
    // update thread still releases it.
    std::lock_guard<std::mutex> guard(lock_);
    if (currentFetch_) currentFetch_->Abort();
  }
  WaitFor();
  downloads_.clear();
  log_.SaveTo(folder_ + "UpdateLog.txt");
}

void TUpdateThread::Terminate() {
  {
    // Under the lock so that a WM_UPDATE_DONE decided before this point is
    // posted before Terminate returns, and none after.
    std::lock_guard<std::mutex> guard(lock_);
    terminated_ = true;
  }
  wake_.Set();
}

void TUpdateThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> TUpdateThread::LeftFailing() const {
  std::lock_guard<std::mutex> guard(lock_);
  return leftFailing_;
}

bool TUpdateThread::SetCurrentFetch(THttpGetDocument* fetch) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fetch && terminated_) return false;
  currentFetch_ = fetch;
  return true;
}

void TUpdateThread::ShowStatus(const std::string& text) {
  AddLog(text);
  PostStatusText(window_, text);
}

void TUpdateThread::FilePercent(int percent) {
  PostPair(WM_UPDATE_FILEPROGRESS, percent, 100);
}

void TUpdateThread::TotalPercent(int percent) {
  PostPair(WM_UPDATE_PROGRESS, percent, 100);
}

// 64-bit values travel as their low 32 bits, as the window's parameters
// are 32 bits wide in the launcher.
void TUpdateThread::PostPair(uint32_t message, int64_t wParam, int64_t lParam) {
  const uint32_t w = static_cast<uint32_t>(static_cast<uint64_t>(wParam));
  const int32_t l = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(lParam)));
  window_.Post(message, w, l);
}

void TUpdateThread::WriteUpdateNow(int value) {
  WriteProfileInt(folder_ + kSettingsFileName, kSettingsSection, kKeyUpdateNow, value);
}

void TUpdateThread::Run() {
  int result = 0;
  bool failed = false;
  try {
    result = Execute();
  } catch (const std::exception& e) {
    failed = true;
    result = 0;
    try {
      AddLog(std::string("Execute: ") + e.what());
    } catch (...) {
    }
  } catch (...) {
    failed = true;
    result = 0;
  }
  // Finish: reached by every exit of the run, stopped or not.
  try {
    if (state_.Changed()) state_.SaveLocalState();
  } catch (...) {
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!terminated_) window_.Post(WM_UPDATE_DONE, static_cast<uintptr_t>(result), pass_);
    if (!failed) terminated_ = true;
  }
  finished_ = true;
}

int TUpdateThread::Execute() {
  ShowStatus(Gbk("正在检查更新..."));
  if (keyed_) state_.LoadTrust();
  if (!FetchManifestWithFallback()) {
    if (!Terminated()) {
      const std::string text = Gbk("[网络故障]: 域名服务器故障");
      AddLog(text);
      ShowStatus(text + Gbk("，请稍候再试"));
    }
    return 0;
  }
  if (!state_.LoadUpdateJson()) return 0;

  downloads_.clear();
  state_.LoadLocalState();
  if (Terminated()) return 0;

  switch (mode_) {
    case 0:
      WriteUpdateNow(state_.CompareManifest(downloads_));
      mode_ = 1;
      break;
    case 2: break;  // the package comes first
    default: state_.CompareManifest(downloads_); break;
  }
  if (Terminated()) return 0;

  if (mode_ == 2 && !FullPackageUpdate()) {
    if (Terminated()) return 0;
    mode_ = 1;
    state_.CompareManifest(downloads_);
  }

  // Records that fail stay in the list for the next sweep; each sweep
  // takes them from the end.
  for (int sweep = 0; sweep < kMaxSweeps && !downloads_.empty(); ++sweep) {
    const int count = static_cast<int>(downloads_.size());
    if (connections_ && mode_ == 1) {
      const std::vector<bool> fetched = SweepSideBySide();
      if (Terminated()) return 0;
      for (int i = count - 1; i >= 0; --i)
        if (fetched[static_cast<size_t>(i)]) downloads_.erase(downloads_.begin() + i);
      continue;
    }
    for (int i = count - 1; i >= 0; --i) {
      if (Terminated()) return 0;
      const auto at = downloads_.begin() + i;
      if (mode_ != 1 || DownloadRecord(**at, count - i, count)) downloads_.erase(at);
    }
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& record : downloads_) leftFailing_.push_back(record->FileName);
  }
  WriteUpdateNow(0);
  return 1;
}

bool TUpdateThread::FetchManifestWithFallback() {
  plat::ForceDirectories(folder_ + "data");
  if (FetchManifest("")) return true;
  if (Terminated()) return false;

  // The addresses are those of the host the manifest URL names: the fetch
  // connects to one of them and still asks that host for the document.
  THttpHeader target;
  target.SetRequest("GET", ops::ManifestUrl(urlBase_, manifestName_));
  const std::string host = target.Host;
  if (host.empty()) return false;

  std::vector<std::string> candidates;
  options_.ResolveHost(host, candidates);
  if (TryAddresses(candidates, "local DNSIP ")) return true;
  if (Terminated()) return false;

  AddLog("request public DNSIP");
  const int count = QueryPublicResolvers(host, candidates, &terminated_);
  AddLog("public DNSIP count " + std::to_string(count));
  return TryAddresses(candidates, "public DNSIP ");
}

bool TUpdateThread::TryAddresses(std::vector<std::string>& candidates, const char* logPrefix) {
  const int n = static_cast<int>(candidates.size());
  for (int i = n - 1; i >= 0; --i) {
    PostPair(WM_UPDATE_PROGRESS, n - i, n);
    AddLog(logPrefix + candidates[static_cast<size_t>(i)]);
    if (FetchManifest(candidates[static_cast<size_t>(i)])) {
      contentAddress_ = candidates[static_cast<size_t>(i)];
      return true;
    }
    candidates.erase(candidates.begin() + i);
    if (Terminated()) return false;
  }
  return false;
}

bool TUpdateThread::FetchManifest(const std::string& address) {
  auto fetch = std::make_unique<THttpGetDocument>();
  if (!SetCurrentFetch(fetch.get())) return false;
  const std::string url = ops::ManifestUrl(urlBase_, manifestName_);
  AddLog("=>" + url);
  bool valid = false;
  std::string writeFailure;
  if (fetch->Get(url, address) && !Terminated()) {
    // With a key the signature travels and is checked while the manifest
    // is parsed.
    std::unique_ptr<TSignatureCheck> check;
    if (keyed_) check = StartSignatureCheck(url, address, manifestName_, fetch->Document(), state_.AcceptedSequence());
    std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(fetch->Document());
    valid = TUpdateState::IsReceivedManifest(doc.get());
    if (valid && keyed_) {
      const std::string missingDigest = MissingStrongDigest(doc.get());
      uint64_t sequence = 0;
      valid = check && AcceptSignature(*check, manifestName_, sequence);
      if (valid && !missingDigest.empty()) {
        AddLog(missingDigest);
        valid = false;
      }
      if (valid) state_.AcceptSequence(sequence);
    }
    // The check's fetch stops being the one to abort before it goes.
    SetCurrentFetch(nullptr);
    check.reset();
    // The run reads the manifest from this copy: a copy that could not be
    // replaced would be an older manifest.
    if (valid && !plat::WriteWholeFile(state_.ManifestPath(), fetch->Document())) {
      valid = false;
      writeFailure = "cannot write " + state_.ManifestPath();
    }
  }
  if (!valid && !Terminated()) {
    ShowStatus(Gbk("#100 : 下载配置文件失败，请检查网络。 ") + fetch->FailureText() + writeFailure);
    PostPair(WM_UPDATE_ERROR, 100, 0);
  }
  SetCurrentFetch(nullptr);
  return valid;
}

std::unique_ptr<TSignatureCheck> TUpdateThread::StartSignatureCheck(const std::string& url, const std::string& address,
                                                                    const std::string& name, std::string_view text,
                                                                    uint64_t lowest) {
  auto check = std::make_unique<TSignatureCheck>(key_, name, text, url, address, lowest);
  // Its fetch takes the place of the document's, which has ended, for the
  // destructor's abort; once stopped, the check's own destructor aborts it.
  if (!SetCurrentFetch(&check->Fetch())) return nullptr;
  return check;
}

bool TUpdateThread::AcceptSignature(TSignatureCheck& check, const std::string& name, uint64_t& sequence) {
  const TTrustVerdict verdict = check.Wait();
  if (Terminated()) return false;
  if (verdict != TTrustVerdict::Accepted) {
    std::string line = "[trust] " + name + " refused: " + TrustVerdictText(verdict);
    if (!check.Received() && !check.FailureText().empty()) line += " (" + check.FailureText() + ")";
    if (verdict == TTrustVerdict::Replayed)
      line += ", " + std::to_string(check.Parsed().Sequence) + " < " + std::to_string(check.Lowest());
    AddLog(line);
    return false;
  }
  sequence = check.Parsed().Sequence;
  return true;
}

bool TUpdateThread::AcceptSigned(const std::string& url, const std::string& address, const std::string& name,
                                 const std::string& text, uint64_t lowest, uint64_t& sequence) {
  std::unique_ptr<TSignatureCheck> check = StartSignatureCheck(url, address, name, text, lowest);
  const bool accepted = check && AcceptSignature(*check, name, sequence);
  SetCurrentFetch(nullptr);
  return accepted;
}

std::string TUpdateThread::MissingStrongDigest(const TzqJSONbase* doc) const {
  const auto* list = static_cast<const TzqJSONlist*>(doc);  // IsReceivedManifest: a list
  for (int i = 0; i < list->Count(); ++i) {
    const TzqJSONbase* node = list->Child(i);
    if (node->Kind() != jsObject) continue;  // the comparison refuses it
    const auto* entry = static_cast<const TzqJSONobject*>(node);
    const TzqJSONbase* sha = entry->Field("Sha256");
    if (!sha || sha->Kind() != jsString || !IsSha256Text(static_cast<const TzqJSONstring*>(sha)->Value)) {
      const TzqJSONbase* file = entry->Field("File");
      const std::string name = file && file->Kind() == jsString
                                   ? plat::GbkFromUtf16(static_cast<const TzqJSONstring*>(file)->Value)
                                   : "entry " + std::to_string(i);
      return "[trust] " + manifestName_ + " refused: no valid Sha256 for " + name;
    }
  }
  return {};
}

}  // namespace lg
