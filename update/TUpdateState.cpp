#include "update/TUpdateState.h"

#include <cstdio>

#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "update/LocalStateFile.h"
#include "update/TzqJSONstreamed.h"
#include "update/UpdateMessages.h"

namespace lg {

TUpdateState::TUpdateState(std::string launcherFolder, std::string exeName, int pass, TUpdateLog& log,
                           IMessageSink& sink, std::function<bool()> stopRequested)
    : folder_(std::move(launcherFolder)),
      exeName_(std::move(exeName)),
      pass_(pass),
      log_(log),
      sink_(sink),
      stopRequested_(std::move(stopRequested)) {
  table_.OnRelease = [](void* value, const std::string&) { delete static_cast<TLocalFileInfo*>(value); };
}

TUpdateState::~TUpdateState() {
  table_.Clear();
}

std::string TUpdateState::ManifestName(int pass) {
  return pass == 0 ? "update.json" : "updateL.json";
}

std::string TUpdateState::LocalStatePath() const {
  char name[48];
  std::snprintf(name, sizeof name, "data\\update%d.local", pass_);
  return folder_ + name;
}

std::string TUpdateState::ManifestPath() const {
  return folder_ + "data\\" + ManifestName(pass_);
}

std::string TUpdateState::CompanionName() const {
  size_t dot = exeName_.rfind('.');
  return (dot == std::string::npos ? exeName_ : exeName_.substr(0, dot)) + ".update";
}

TLocalFileInfo* TUpdateState::Record(std::string_view localName) const {
  return static_cast<TLocalFileInfo*>(table_.Find(localName));
}

std::string TUpdateState::HashFile(const std::string& path) {
  ++filesHashed_;
  return Md5OfFile(path);
}

void TUpdateState::ShowStatus(std::string_view text) {
  log_.Log(text);
  PostStatusText(sink_, text);
}

bool TUpdateState::Adopt(std::string_view localName, std::unique_ptr<TLocalFileInfo> record) {
  if (!table_.Add(localName, record.get())) return false;
  record.release();  // the table's OnRelease frees it
  return true;
}

bool TUpdateState::IsReceivedManifest(const TzqJSONbase* doc) {
  if (!doc || doc->Kind() != jsList) return false;
  const TzqJSONbase* first = static_cast<const TzqJSONlist*>(doc)->Child(0);
  if (!first || first->Kind() != jsObject) return false;
  const TzqJSONbase* file = static_cast<const TzqJSONobject*>(first)->Field("File");
  return file && file->Kind() == jsString && !static_cast<const TzqJSONstring*>(file)->Value.empty();
}

bool TUpdateState::LoadUpdateJson() {
  manifest_.reset();
  try {
    std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::LoadFromFile(ManifestPath());
    if (!doc || doc->Kind() != jsList || static_cast<TzqJSONlist*>(doc.get())->Count() < 1) return false;
    manifest_.reset(static_cast<TzqJSONlist*>(doc.release()));
    return true;
  } catch (const std::exception& e) {
    log_.Log(std::string("LoadUpdateJson: ") + e.what());
    return false;
  }
}

void TUpdateState::LoadLocalState() {
  changed_ = false;
  std::string path = LocalStatePath();
  if (!plat::FileExists(path)) return;
  std::string text;
  if (!plat::ReadWholeFile(path, text)) return;
  for (TLocalStateLine& line : ParseLocalState(text)) {
    if (!IsSafeRelativePath(line.Name)) {
      log_.Log(Gbk("本地记录的文件名不安全，已忽略: ") + line.Name);
      changed_ = true;
      continue;
    }
    // A name seen before (in any letter case) keeps its first line; the
    // table now differs from the file, which the next save corrects.
    if (table_.Find(line.Name)) {
      changed_ = true;
      continue;
    }
    std::string file = folder_ + line.Name;
    // One query in the common case: only a file without a usable stamp
    // (-1) needs the second to tell whether it exists.
    int32_t stamp = plat::FileStamp(file);
    if (stamp != -1 || plat::FileExists(file)) {
      if (stamp != line.Stamp) {
        line.Stamp = stamp;
        line.Hash = HashFile(file);
        changed_ = true;
      }
    }
    auto record = std::make_unique<TLocalFileInfo>();
    record->FileName = line.Name;
    record->Hash = std::move(line.Hash);
    record->SizeOrAge = line.Stamp;
    Adopt(line.Name, std::move(record));
  }
}

int TUpdateState::CompareManifest(TDownloadList& downloads) {
  BytesDone = 0;
  BytesTotal = 0;
  int64_t pending = 0;
  int n = manifest_ ? manifest_->Count() : 0;
  const std::string companion = CompanionName();
  const std::string checking = Gbk("校验文件：");

  for (int i = 0; i < n; ++i) {
    if (StopRequested()) return 0;
    TzqJSONbase* node = manifest_->Child(i);
    if (node->Kind() != jsObject) throw EInvalidCast();
    auto* entry = static_cast<TzqJSONobject*>(node);

    std::string file = entry->FieldText("File");
    int32_t isLauncher = entry->FieldInt("isLauncher");
    if (!entry->FieldBool("Need")) continue;
    if (!IsSafeRelativePath(file)) {
      log_.Log(Gbk("更新列表中的文件名不安全，已跳过: ") + file);
      continue;
    }
    const std::string& localName = isLauncher != 0 ? companion : file;
    std::string hash = entry->FieldText("Hash");
    int32_t size = entry->FieldInt("Size");
    bool isZip = entry->FieldBool("IsZip");

    if (i % 10 == 0) {
      ShowStatus(checking + localName);
      sink_.Post(WM_UPDATE_PROGRESS, static_cast<uintptr_t>(i + 1), static_cast<intptr_t>(n));
    }
    BytesTotal += size;

    bool upToDate = false;
    std::string path = folder_ + localName;
    if (plat::FileExists(path)) {
      if (TLocalFileInfo* record = Record(localName)) {
        // The recorded digest stands for the file: LoadLocalState has
        // already re-hashed every file whose stamp moved.
        upToDate = record->Hash == hash;
        if (!upToDate) {
          table_.Remove(localName);
          changed_ = true;
        }
      } else if (HashFile(path) == hash) {
        auto adopted = std::make_unique<TLocalFileInfo>();
        adopted->FileName = file;
        adopted->IsLauncher = isLauncher;
        adopted->Hash = hash;
        adopted->SizeOrAge = plat::FileStamp(path);
        Adopt(localName, std::move(adopted));
        changed_ = true;
        upToDate = true;
      }
    } else {
      table_.Remove(localName);
      changed_ = true;
    }

    if (upToDate) {
      BytesDone += size;
    } else {
      auto download = std::make_unique<TLocalFileInfo>();
      download->FileName = file;
      download->IsLauncher = isLauncher;
      download->Hash = hash;
      download->SizeOrAge = size;
      download->IsZip = isZip;
      downloads.push_back(std::move(download));
      pending += size;
    }
  }

  sink_.Post(WM_UPDATE_PROGRESS, static_cast<uint32_t>(BytesDone),
             static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(BytesTotal))));
  if (BytesDone * 10 < BytesTotal) return 2;
  return pending > 0 ? 1 : 0;
}

void TUpdateState::SaveLocalState() {
  if (table_.Count() == 0) return;
  std::string text;
  table_.First();
  while (!table_.AtEnd()) {
    auto* record = static_cast<TLocalFileInfo*>(table_.Next());
    text += FormatLocalStateLine(record->FileName, record->Hash, record->SizeOrAge);
  }
  plat::ForceDirectories(folder_ + "data");
  plat::WriteWholeFile(LocalStatePath(), text);
}

}  // namespace lg
