#include "update/TUpdateState.h"

#include <cstdint>
#include <cstdio>

#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "common/Sha256.h"
#include "update/LocalStateFile.h"
#include "update/ManifestDigestText.h"
#include "update/UpdateMessages.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

// The entry's "Sha256" as parsed, empty when it has none; one of another
// kind raises EInvalidCast, as FieldText does.
std::u16string_view Sha256Field(const TzqJSONobject& entry) {
  const TzqJSONbase* value = entry.Field("Sha256");
  if (!value) return {};
  if (value->Kind() != jsString) throw EInvalidCast();
  return static_cast<const TzqJSONstring*>(value)->Value;
}

}  // namespace

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
  return std::string(pass == 0 ? ops::kClientManifestName : ops::kLauncherManifestName);
}

std::string TUpdateState::LocalStatePath() const {
  return folder_ + std::string(pass_ == 0 ? ops::kClientLocalState : ops::kLauncherLocalState);
}

std::string TUpdateState::ManifestPath() const {
  return folder_ + std::string(pass_ == 0 ? ops::kClientManifestCopy : ops::kLauncherManifestCopy);
}

std::string TUpdateState::CompanionName() const {
  size_t dot = exeName_.rfind('.');
  return (dot == std::string::npos ? exeName_ : exeName_.substr(0, dot)) + ".update";
}

TLocalFileInfo* TUpdateState::Record(std::string_view localName) const {
  return static_cast<TLocalFileInfo*>(table_.Find(localName));
}

std::string TUpdateState::TrustStatePath() const {
  std::string path = LocalStatePath();
  return path.substr(0, path.size() - 6) + ".trust";  // in place of ".local"
}

std::string TUpdateState::HashFile(const std::string& path, TStrongDigest* sha256) {
  ++filesHashed_;
  if (!strong_ || !sha256) return Md5OfFile(path);
  std::string md5, text;
  Md5AndSha256OfFile(path, md5, text);
  ParseStrongDigest(text, *sha256);
  return md5;
}

const TStrongDigest& TUpdateState::StrongDigestOf(TLocalFileInfo& record, const std::string& path) {
  if (!record.Sha256.Known) {
    ++filesHashed_;
    ParseStrongDigest(Sha256OfFile(path), record.Sha256);
    changed_ = true;
  }
  return record.Sha256;
}

void TUpdateState::LoadTrust() {
  if (!strong_) return;
  DropTrustText();
  // Mapped and read in place: on a second pass over many files, reading
  // the file into memory of our own cost more page faults than the rest
  // of what the key adds.
  const std::string path = TrustStatePath();
  if (trustFile_.Open(path)) {
    const int64_t size = trustFile_.Size();
    const unsigned char* view =
        size > 0 && static_cast<uint64_t>(size) <= SIZE_MAX ? trustFile_.Map(0, static_cast<size_t>(size)) : nullptr;
    if (view) trustText_ = std::string_view(reinterpret_cast<const char*>(view), static_cast<size_t>(size));
  }
  if (trustText_.empty()) {
    trustFile_.Close();
    if (!plat::ReadWholeFile(path, trustCopy_)) return;
    trustText_ = trustCopy_;
  }
  trust_ = ParseTrustSequences(trustText_);
}

void TUpdateState::DropTrustText() {
  trustText_ = {};
  trustFile_.Close();
  trustCopy_.clear();
  trustCopy_.shrink_to_fit();
}

void TUpdateState::AcceptSequence(uint64_t sequence) {
  if (sequence == trust_.Sequence) return;
  trust_.Sequence = sequence;
  trustChanged_ = true;
}

void TUpdateState::AcceptPackageSequence(uint64_t sequence) {
  if (sequence == trust_.PackageSequence) return;
  trust_.PackageSequence = sequence;
  trustChanged_ = true;
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
  std::string text;
  // A missing file fails to open: no separate existence check.
  if (!plat::ReadWholeFile(LocalStatePath(), text)) {
    DropTrustText();
    return;
  }
  // The SHA-256 an earlier run computed, with its stamp, in the order both
  // files were written in.
  TTrustDigests strong(trustText_);
  std::string file = folder_;
  // The lines are read in place; only what goes into the table is copied.
  ForEachLocalStateLine(text, [&](const TLocalStateView& line) {
    if (!IsSafeRelativePath(line.Name)) {
      log_.Log(Gbk("本地记录的文件名不安全，已忽略: ") + std::string(line.Name));
      changed_ = true;
      return;
    }
    auto fresh = std::make_unique<TLocalFileInfo>();
    TLocalFileInfo* record = fresh.get();
    // A name seen before (in any letter case) keeps its first line; the
    // table now differs from the file, which the next save corrects.
    if (!Adopt(line.Name, std::move(fresh))) {
      changed_ = true;
      return;
    }
    record->FileName.assign(line.Name);
    record->SizeOrAge = line.Stamp;
    file.resize(folder_.size());
    file.append(line.Name);
    // One query in the common case: only a file without a usable stamp
    // (-1) needs the second to tell whether it exists.
    int32_t stamp = plat::FileStamp(file);
    // Asked for every record, so that the trust file's order is followed
    // past a file that is hashed again.
    const TLocalStateView* known = strong_ ? strong.Find(line.Name) : nullptr;
    const bool present = stamp != -1 || plat::FileExists(file);
    record->SeenPresent = present;
    if (present && stamp != line.Stamp) {
      record->SizeOrAge = stamp;
      record->Hash = HashFile(file, &record->Sha256);
      changed_ = true;
    } else {
      record->Hash.assign(line.Hash);
      // A digest that does not read stays unknown: the comparison hashes
      // the file again rather than trusting it.
      if (known && known->Stamp == line.Stamp) ParseStrongDigest(known->Hash, record->Sha256);
    }
  });
  // Each line stands for one record and is taken once; SaveLocalState
  // writes the lines again from the table.
  DropTrustText();
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
    // Present in every entry of a manifest a keyed launcher accepted; read
    // in place, as only a download needs it as a string.
    const std::u16string_view sha256 = strong_ ? Sha256Field(*entry) : std::u16string_view();
    int32_t size = entry->FieldInt("Size");
    bool isZip = entry->FieldBool("IsZip");

    if (i % 10 == 0) {
      ShowStatus(checking + localName);
      sink_.Post(WM_UPDATE_PROGRESS, static_cast<uintptr_t>(i + 1), static_cast<intptr_t>(n));
    }
    BytesTotal += size;

    bool upToDate = false;
    std::string path = folder_ + localName;
    // A record read from the state file may already know that its file is
    // there (LoadLocalState asked a moment ago); one that was missing then
    // may have come since, with the full package.
    TLocalFileInfo* record = Record(localName);
    bool present = (record && record->SeenPresent) || plat::FileExists(path);
    if (present) {
      if (record) {
        // The recorded digest stands for the file: LoadLocalState has
        // already re-hashed every file whose stamp moved.
        upToDate = record->Hash == hash && (!strong_ || SameStrongDigest(StrongDigestOf(*record, path), sha256));
        if (!upToDate) {
          table_.Remove(localName);
          changed_ = true;
        }
      } else if (TStrongDigest found; HashFile(path, &found) == hash && (!strong_ || SameStrongDigest(found, sha256))) {
        auto adopted = std::make_unique<TLocalFileInfo>();
        adopted->Sha256 = found;
        adopted->FileName = file;
        adopted->IsLauncher = isLauncher;
        adopted->Hash = hash;
        adopted->SizeOrAge = plat::FileStamp(path);
        adopted->SeenPresent = true;
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
      // HasStrongDigests refused a manifest whose text would not read; an
      // unknown digest would match no download.
      if (strong_) ParseStrongDigest(sha256, download->Sha256);
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
  if (strong_) {
    // The file is replaced below: a mapping of it must not stay open.
    DropTrustText();
    // The sequences, then a line per record with a digest, from the
    // table's records in place.
    std::string text = FormatTrustState(trust_);
    text.reserve(text.size() + static_cast<size_t>(table_.Count()) * 96);
    char digest[64];
    table_.First();
    while (!table_.AtEnd()) {
      auto* record = static_cast<TLocalFileInfo*>(table_.Next());
      if (record->Sha256.Known)
        AppendLocalStateLine(text, record->FileName, StrongDigestText(record->Sha256, digest), record->SizeOrAge);
    }
    plat::ForceDirectories(folder_ + "data");
    if (plat::WriteWholeFile(TrustStatePath(), text)) trustChanged_ = false;
  }
  if (table_.Count() == 0) return;
  std::string text;
  table_.First();
  while (!table_.AtEnd()) {
    auto* record = static_cast<TLocalFileInfo*>(table_.Next());
    AppendLocalStateLine(text, record->FileName, record->Hash, record->SizeOrAge);
  }
  plat::ForceDirectories(folder_ + "data");
  plat::WriteWholeFile(LocalStatePath(), text);
}

}  // namespace lg
