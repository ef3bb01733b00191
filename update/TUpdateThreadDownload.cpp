// TUpdateThread, second half: downloading one record (with unpacking,
// verification and the launcher's companion), and the full package.
#include <cstdio>

#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/THttpDownload.h"
#include "Library/hDownload/THttpGetDocument.h"
#include "common/AsciiCase.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "common/Sha256.h"
#include "update/TUpdateThread.h"
#include "update/UpdateMessages.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

// Position just after the last separator ("\" or "/"); a GBK trail byte
// equal to "\" belongs to its character.
size_t AfterLastSeparator(const std::string& path) {
  size_t after = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\' || path[i] == '/') after = i + 1;
  }
  return after;
}

std::string FolderOf(const std::string& path) {
  return path.substr(0, AfterLastSeparator(path));
}

std::string BareName(const std::string& path) {
  return path.substr(AfterLastSeparator(path));
}

// Puts `from` in the place of `to` (replacing it); nothing to do when both
// name the same file.
bool MoveOver(const std::string& from, const std::string& to) {
  if (SameText(WithBackslashes(from), WithBackslashes(to))) return true;
  plat::ClearAttributes(to);
  plat::DeleteFile(to);
  return plat::RenameFile(from, to);
}

std::string Format(const std::string& format, const std::string& s, int a, int b) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, format.c_str(), s.c_str(), a, b);
  return buf;
}

}  // namespace

// Downloads of a file that must not be written under its own name while it
// runs (the launcher) go here first and are renamed into place afterwards.
std::string TUpdateThread::StagingDir() const {
  return folder_ + "data\\update.!new\\";
}

uint8_t TUpdateThread::DownloadInto(const std::string& url, const std::string& dir, int64_t size, uint8_t connections,
                                    TSavedFile& saved, std::string& failure) {
  // The progress events run on the downloader's threads: they get the
  // totals as they stand now instead of reading the thread's own.
  const int64_t done = state_.BytesDone, total = state_.BytesTotal;
  auto download = std::make_unique<THttpDownload>(connections);
  download->SetPipelined(connections_);
  download->KeepDigests(keyed_);
  download->OnComplete = [this](THttpDownload&) {
    downloadState_ = kDownloadComplete;
    wake_.Set();
  };
  std::string failureText;  // written once, by the event that ends the download
  download->OnFailed = [this, &failureText](THttpDownload& d) {
    failureText = d.ErrorText();
    AddLog(failureText);
    downloadState_ = kDownloadFailed;
    wake_.Set();
  };
  download->OnReceive = [this, done, total](THttpDownload&, uint32_t elapsedMs, int64_t received, int64_t) {
    PostPair(WM_UPDATE_PROGRESS, done + received, total);
    PostPair(WM_UPDATE_SPEED, received, elapsedMs);
  };
  download->OnWrite = [this](THttpDownload&, uint32_t, int64_t written, int64_t fileSize) {
    PostPair(WM_UPDATE_FILEPROGRESS, written, fileSize);
  };
  plat::ForceDirectories(dir);
  // A host name that failed for the manifest fails for its files as well.
  download->SetHosts(contentAddress_.empty() ? std::vector<std::string>{} : std::vector<std::string>{contentAddress_});
  PostPair(WM_UPDATE_PROGRESS, done, total);
  PostPair(WM_UPDATE_SPEED, 0, 0);

  // Set before Start: an answer can end the download before Start returns.
  downloadState_ = kDownloading;
  wake_.Reset();
  download->Start(url, dir, size);
  AddLog(Gbk("下载 ") + download->URL());
  // The events and Terminate wake the wait at once; the time-out sweep
  // still runs every 10 ms.
  while (downloadState_ == kDownloading && !Terminated()) {
    download->CheckTimeout();
    wake_.WaitFor(kWaitStepMs);
  }
  saved.Path = download->SaveDir() + download->FileName();
  saved.Digests = download->WrittenDigests();
  // Read after the downloader's threads have ended (reset joins them).
  download.reset();
  failure = failureText;
  return downloadState_;
}

TUpdateThread::TRecordPlan TUpdateThread::PlanRecord(const TLocalFileInfo& record) const {
  TRecordPlan plan;
  // Pipelined, a file within the first range comes in one answer: more
  // workers would only wait.
  const bool oneAnswer = connections_ && record.SizeOrAge <= THttpDownload::kFirstRangeBytes;
  plan.Connections = record.SizeOrAge <= kSingleConnectionMax || oneAnswer ? 1 : kManyConnections;
  plan.Name = record.FileName + (record.IsZip ? std::string(ops::kZipSuffix) : std::string());
  plan.Url = ops::IncrementalFileUrl(urlBase_, record.FileName, record.IsZip);
  const std::string localPath = folder_ + plan.Name;
  // A zipped "launcher.dll" is kept as its archive, unverified.
  plan.KeepArchive = record.IsZip && SameText(record.FileName, "launcher.dll");
  // The launcher's own entry never lands under `File`, which may be the
  // running executable: it is fetched beside the data and becomes the
  // companion, which start-up copies over the executable.
  plan.ToCompanion = record.IsLauncher != 0 && !plan.KeepArchive;
  plan.WorkDir = plan.ToCompanion ? StagingDir() : FolderOf(localPath);
  return plan;
}

std::string TUpdateThread::DownloadingText(const TRecordPlan& plan, int position, int count) const {
  return Format(Gbk("正在下载 %s %d/%d"), plan.Name, position, count);
}

void TUpdateThread::ShowFailure(const TRecordPlan& plan, const std::string& failure) {
  // The reason stays on the status line (a full disk says "Write Error")
  // until the next file's download replaces it.
  if (!Terminated()) ShowStatus(Gbk("下载文件 ") + plan.Name + Gbk(" 失败，请稍后再试 ") + failure);
}

bool TUpdateThread::DownloadRecord(const TLocalFileInfo& record, int position, int count) {
  const TRecordPlan plan = PlanRecord(record);
  ShowStatus(DownloadingText(plan, position, count));
  TSavedFile saved;
  std::string failure;
  if (DownloadInto(plan.Url, plan.WorkDir, record.SizeOrAge, plan.Connections, saved, failure) != kDownloadComplete) {
    ShowFailure(plan, failure);
    return false;
  }
  return FinishRecord(record, plan, saved);
}

bool TUpdateThread::FinishRecord(const TLocalFileInfo& record, const TRecordPlan& plan, const TSavedFile& saved) {
  const std::string& name = plan.Name;
  const std::string& workDir = plan.WorkDir;
  const bool keepArchive = plan.KeepArchive, toCompanion = plan.ToCompanion;
  // Where the file belongs before unpacking or renaming (a redirect may
  // have named the download otherwise).
  const std::string expected = workDir + BareName(name);
  bool ok = MoveOver(saved.Path, expected);
  if (!ok) AddLog(Gbk("无法移动 ") + saved.Path);
  if (keepArchive) return ok;

  if (ok && record.IsZip) ok = UnpackRecord(record, expected, workDir);
  ShowStatus(Gbk("校验 ") + name + " ...");
  std::string localName = record.FileName;
  if (ok && toCompanion) {
    localName = state_.CompanionName();
    ok = PlaceCompanion(workDir + BareName(record.FileName));
  }
  // Moving and placing keep the bytes the download wrote; unpacking does not.
  const TFileDigests* written = !record.IsZip && saved.Digests ? &*saved.Digests : nullptr;
  bool strongMismatch = false;
  const bool verified = ok && VerifyFile(localName, record.Hash, record.Sha256, written, strongMismatch);
  if (ok && strongMismatch) {
    ok = false;
    AddLog("[trust] " + record.FileName + " refused: SHA-256 does not match the manifest's Sha256 " +
           StrongDigestText(record.Sha256));
  } else if (ok && !verified) {
    ok = false;
    char line[1024];
    std::snprintf(line, sizeof line, "%s %s md5=%s", record.FileName.c_str(), Gbk(" MD5值不正确.").c_str(),
                  record.Hash.c_str());
    AddLog(line);
  }
  if (ok) state_.BytesDone += record.SizeOrAge;
  return ok;
}

bool TUpdateThread::UnpackRecord(const TLocalFileInfo& record, const std::string& archive, const std::string& workDir) {
  const TUnzipFileResult unzipped = UnzipFile(archive, workDir, *this);
  bool ok = true;
  if (!unzipped.Extracted) {
    ok = false;
    AddLog(record.FileName + Gbk(" 解包失败."));
  } else if (unzipped.ArchiveSize != static_cast<uint32_t>(record.SizeOrAge)) {
    ok = false;
    AddLog(record.FileName + Gbk(" 解包长度不正确."));
  }
  plat::ClearAttributes(archive);
  plat::DeleteFile(archive);
  return ok;
}

bool TUpdateThread::PlaceCompanion(const std::string& staged) {
  const std::string companion = folder_ + state_.CompanionName();
  if (MoveOver(staged, companion)) return true;
  AddLog(Gbk("无法替换 ") + companion);
  return false;
}

// Records the file's digest and stamp under its local name; true when the
// digest is the expected one. A file that fails the check (either digest)
// is deleted at once with its record: wrong bytes never stay under the
// final name, and the next sweep or run fetches the file whole instead of
// trusting them.
bool TUpdateThread::VerifyFile(const std::string& localName, const std::string& expected,
                               const TStrongDigest& expectedSha256, const TFileDigests* written, bool& strongMismatch) {
  strongMismatch = false;
  const std::string path = folder_ + localName;
  if (!plat::FileExists(path)) return false;
  const int32_t stamp = plat::FileStamp(path);
  std::string digest;
  TStrongDigest sha256;
  if (written && (!keyed_ || written->HasSha256)) {
    digest = written->Md5;
    sha256.Bytes = written->Sha256;
    sha256.Known = written->HasSha256;
  } else if (keyed_) {
    std::string text;
    Md5AndSha256OfFile(path, digest, text);
    ParseStrongDigest(text, sha256);
  } else {
    digest = Md5OfFile(path);
  }
  // An unknown digest on either side is a mismatch: never trusted.
  strongMismatch =
      keyed_ && digest == expected && !(sha256.Known && expectedSha256.Known && sha256.Bytes == expectedSha256.Bytes);
  const bool match = digest == expected && !strongMismatch;
  AddLog(digest + "+++" + expected);
  if (!match) {
    plat::ClearAttributes(path);
    if (!plat::DeleteFile(path)) AddLog(Gbk("无法删除 ") + path);
    state_.Table().Remove(localName);
    state_.SetChanged();
    return false;
  }
  TLocalFileInfo* record = state_.Record(localName);
  if (!record) state_.SetChanged();
  if (!record) {
    auto fresh = std::make_unique<TLocalFileInfo>();
    if (state_.Table().Add(localName, fresh.get())) record = fresh.release();  // the table frees it
  }
  if (!record) return false;
  record->FileName = localName;
  record->Hash = digest;
  record->Sha256 = sha256;
  record->SizeOrAge = stamp;
  return match;
}

bool TUpdateThread::FullPackageUpdate() {
  ShowStatus(Gbk("正在下载完整包..."));
  std::unique_ptr<TzqJSONbase> doc;
  uint64_t sequence = 0;
  {
    auto fetch = std::make_unique<THttpGetDocument>();
    if (SetCurrentFetch(fetch.get())) {
      const std::string url = ops::PackageManifestUrl(urlBase_);
      if (fetch->Get(url, contentAddress_)) {
        doc = TzqJSONstreamed::ParseText(fetch->Document());
        // Refused like a release.json that never came.
        if (doc && keyed_ &&
            !AcceptSigned(url, contentAddress_, std::string(ops::kPackageManifestName), fetch->Document(),
                          state_.AcceptedPackageSequence(), sequence))
          doc.reset();
      }
      SetCurrentFetch(nullptr);
    }
  }
  if (!doc) {
    if (!Terminated()) AddLog(Gbk("更新失败，请稍后再试"));
    return false;
  }
  if (doc->Kind() != jsObject) throw EInvalidCast();
  const auto* info = static_cast<const TzqJSONobject*>(doc.get());
  const std::string file = info->FieldText("File");
  const int32_t isLauncher = info->FieldInt("isLauncher");
  const std::string md5 = info->FieldText("MD5");
  const int32_t size = info->FieldInt("Size");
  const std::string sha256 = keyed_ ? info->FieldText("Sha256") : std::string();
  doc.reset();
  if (keyed_) {
    uint8_t digest[32];
    if (!ParseHexExact(sha256, digest, sizeof digest)) {
      AddLog("[trust] release.json refused: no valid Sha256 for " + file);
      return false;
    }
    state_.AcceptPackageSequence(sequence);
  }
  // With a key nothing is unpacked before both digests match.
  // `written`: the digests the download worked out, when it could.
  auto intact = [&](const std::string& path, const TFileDigests* written) {
    if (!keyed_) return true;
    std::string m, s;
    if (written && written->HasSha256) {
      m = written->Md5;
      s = Sha256Hex(written->Sha256);
    } else {
      Md5AndSha256OfFile(path, m, s);
    }
    return SameText(m, md5) && SameText(s, sha256);
  };
  if (!IsSafeRelativePath(file)) {
    AddLog(Gbk("完整包的文件名不安全，已跳过: ") + file);
    return false;
  }
  const std::string localName = isLauncher != 0 ? state_.CompanionName() : file;
  const std::string archive = folder_ + localName;
  // Once the files are out the archive is deleted: a pass stopped after
  // that compares the files instead of fetching the whole package again.
  auto unpack = [&] { return UnzipPackage(archive, *this, [this] { WriteUpdateNow(1); }); };

  state_.BytesDone = 0;
  state_.BytesTotal = size;
  PostPair(WM_UPDATE_PROGRESS, 0, size);
  // An archive left by an earlier run: its files are found by the
  // comparison that follows.
  if (plat::FileExists(archive) && intact(archive, nullptr) && unpack()) return false;

  ShowStatus(Gbk("正在下载 ") + BareName(archive));
  const std::string workDir = isLauncher != 0 ? StagingDir() : FolderOf(archive);
  TSavedFile saved;
  std::string failure;
  const uint8_t downloaded =
      DownloadInto(ops::PackageFileUrl(urlBase_, file), workDir, size, kManyConnections, saved, failure);
  if (Terminated()) return false;
  if (downloaded != kDownloadComplete) {
    ShowStatus(Gbk("下载文件 ") + localName + Gbk(" 失败，请稍后再试 ") + failure);
    return false;
  }
  if (!MoveOver(saved.Path, archive)) AddLog(Gbk("无法移动 ") + saved.Path);
  if (!plat::FileExists(archive)) return false;
  const TFileDigests* written = saved.Digests ? &*saved.Digests : nullptr;
  if (!intact(archive, written)) {
    AddLog("[trust] " + localName + " refused: the package's digests do not match release.json");
    ShowStatus(localName + Gbk(" 校验错误，请稍后再试 "));
    plat::ClearAttributes(archive);
    plat::DeleteFile(archive);
    return false;
  }
  if (unpack()) return true;
  if (!Terminated()) {
    ShowStatus(Gbk("校验下载的文件..."));
    if (!SameText(written ? written->Md5 : Md5OfFile(archive), md5)) {
      ShowStatus(localName + Gbk(" 校验错误，请稍后再试 "));
      plat::ClearAttributes(archive);
      plat::DeleteFile(archive);
    }
  }
  return false;
}

}  // namespace lg
