#include "tools/launcher-publish/TPublisher.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "common/AsciiCase.h"
#include "common/FileStream.h"
#include "common/Md5.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "common/SafePath.h"
#include "common/Sha256.h"
#include "tools/launcher-publish/GlobMatch.h"
#include "tools/launcher-publish/ManifestJson.h"
#include "update/ManifestSignature.h"
#include "update/zip/TZipWriter.h"

namespace lg::publish {
namespace fs = std::filesystem;
namespace {

constexpr const char* kTempSuffix = ".publish-tmp";
constexpr size_t kBufferSize = 1 << 20;

fs::path FsPath(const std::string& gbk) {
  const std::string utf8 = plat::Utf8FromGbk(gbk);
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
  const std::u8string s = path.generic_u8string();
  return std::string(s.begin(), s.end());
}

// ASCII letters folded, GBK trail bytes left alone: how Windows sees two
// names as the same file.
std::string FoldName(std::string_view name) {
  std::string out(name);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < out.size())
      ++i;
    else
      out[i] = AsciiLower(out[i]);
  }
  return out;
}

std::string BareName(const std::string& name) {
  size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string Stem(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

TPublisher::TPublisher(TPublishOptions options, std::ostream& progress)
    : options_(std::move(options)), progress_(progress) {
  for (std::string* root : {&options_.SourceDir, &options_.WebRoot})
    while (root->size() > 1 && (root->back() == '/' || root->back() == '\\')) root->pop_back();
}

std::string TPublisher::SourcePath(const std::string& name) const {
  return options_.SourceDir + "/" + name;
}

std::string TPublisher::WebPath(const std::string& name) const {
  return options_.WebRoot + "/" + name;
}

bool TPublisher::Fail(const std::string& text) {
  if (!errorText_.empty()) errorText_ += "\n";
  errorText_ += text;
  return false;
}

void TPublisher::PreparePatterns() {
  // The launcher's own state and its unfinished downloads live in the game
  // folder too; serving them would overwrite every player's copy.
  skipPatterns_ = {"data/update.json",
                   "data/updateL.json",
                   "data/update0.local",
                   "data/update1.local",
                   "data/update0.trust",
                   "data/update1.trust",
                   "UpdateLog.txt",
                   "launcher.ini",
                   plat::Utf8FromGbk(Stem(options_.LauncherExe)) + ".update",
                   "**/*.!tmp",
                   "**/*.!dl"};
  for (const std::string& pattern : options_.SkipGlobs) skipPatterns_.push_back(plat::Utf8FromGbk(pattern));
  zipPatterns_.clear();
  for (const std::string& pattern : options_.ZipGlobs) zipPatterns_.push_back(plat::Utf8FromGbk(pattern));
}

bool TPublisher::IsSkipped(const TFile& file) const {
  for (const std::string& pattern : skipPatterns_)
    if (GlobMatch(pattern, file.Utf8)) return true;
  return false;
}

bool TPublisher::Walk() {
  std::error_code ec;
  const fs::path root = FsPath(options_.SourceDir);
  if (!fs::is_directory(root, ec)) return Fail("not a folder: " + plat::Utf8FromGbk(options_.SourceDir));
  // The web root inside the game folder would publish its own output.
  const fs::path src = fs::weakly_canonical(root, ec);
  const fs::path out = fs::weakly_canonical(FsPath(options_.WebRoot), ec);
  const fs::path rel = out.lexically_relative(src);
  if (!rel.empty() && *rel.begin() != "..") return Fail("the web root must not be the game folder or lie inside it");

  bool ok = true;
  fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
  if (ec) return Fail("cannot list " + plat::Utf8FromGbk(options_.SourceDir) + ": " + ec.message());
  for (; it != end; it.increment(ec)) {
    if (ec) return Fail("cannot list " + Utf8Of(it->path()) + ": " + ec.message());
    const fs::directory_entry& entry = *it;
    if (entry.is_directory(ec) || !entry.is_regular_file(ec)) continue;
    TFile file;
    file.Utf8 = Utf8Of(entry.path().lexically_relative(root));
    // Plain ASCII is the same in both; only other names need the converter.
    const bool ascii =
        std::all_of(file.Utf8.begin(), file.Utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
      file.Name = file.Utf8;
    } else if (!plat::TryGbkFromUtf8(file.Utf8, file.Name)) {
      ok = Fail(file.Utf8 + ": the name holds a character GBK cannot write");
      continue;
    }
    file.Size = entry.file_size(ec);
    if (!ec) file.MTime = static_cast<int64_t>(entry.last_write_time(ec).time_since_epoch().count());
    if (ec) {
      ok = Fail(file.Utf8 + ": " + ec.message());
      continue;
    }
    if (IsSkipped(file)) {
      ++stats_.Skipped;
      continue;
    }
    // The game pass would download the running launcher over itself, which
    // fails on every run; the launcher pass replaces it through its
    // companion instead.
    if (!options_.Launcher && FoldName(file.Name) == FoldName(options_.LauncherExe)) {
      progress_ << "note: " << file.Utf8 << " left out: the launcher is published with --launcher\n";
      ++stats_.Skipped;
      continue;
    }
    for (const std::string& pattern : zipPatterns_)
      if (GlobMatch(pattern, file.Utf8)) file.Zip = true;
    file.IsLauncher = options_.Launcher && FoldName(file.Name) == FoldName(options_.LauncherExe);
    files_.push_back(std::move(file));
  }
  return ok;
}

bool TPublisher::CheckNames() {
  bool ok = true;
  // Served names (folded) -> what claims them.
  std::map<std::string, std::string> served;
  served[FoldName(ManifestName())] = "the manifest";
  served[FoldName(CacheName())] = "the publisher's cache";
  served[FoldName(ManifestName() + kSignatureSuffix)] = "the manifest's signature";
  if (options_.Package) {
    served[FoldName(ops::PackagePath(ops::kPackageManifestName))] = "the package manifest";
    served[FoldName(ops::PackagePath(ops::kPackageManifestName) + kSignatureSuffix)] = "the package's signature";
    served[FoldName(ops::PackagePath(options_.PackageName))] = "the package";
  }
  std::map<std::string, std::string> installed;
  for (const TFile& f : files_) {
    std::string reason;
    if (!IsSafeRelativePath(f.Name, &reason)) ok = Fail(f.Utf8 + ": the launcher refuses this name (" + reason + ")");
    if (f.Size >= static_cast<uint64_t>(kMaxFileSize))
      ok = Fail(f.Utf8 + ": " + std::to_string(f.Size) + " bytes; files must be smaller than 2 GiB");
    if (f.Name.size() >= 12 && FoldName(f.Name.substr(f.Name.size() - 12)) == kTempSuffix)
      ok = Fail(f.Utf8 + ": the name ends like the publisher's temporary files");
    // A zipped "launcher.dll" is left packed by the launcher and would be
    // downloaded again on every run.
    if (f.Zip && FoldName(f.Name) == "launcher.dll")
      ok = Fail(f.Utf8 + ": the launcher never unpacks this name; do not zip it");
    auto [at, fresh] = installed.emplace(FoldName(f.Name), f.Utf8);
    if (!fresh) ok = Fail(f.Utf8 + ": same Windows name as " + at->second);
    const std::string name = f.Zip ? f.Name + ".zip" : f.Name;
    auto [s, free] = served.emplace(FoldName(name), f.Utf8);
    if (!free && s->second != f.Utf8)
      ok = Fail(f.Utf8 + ": would be served as " + plat::Utf8FromGbk(name) + ", which " + s->second + " uses");
  }
  // The launcher takes a manifest without entries for a failed fetch.
  if (files_.empty() && ok) ok = Fail("no files to publish in " + plat::Utf8FromGbk(options_.SourceDir));
  if (options_.Launcher && !std::any_of(files_.begin(), files_.end(), [](const TFile& f) { return f.IsLauncher; }))
    progress_ << "warning: no " << plat::Utf8FromGbk(options_.LauncherExe) << " in the game folder\n";
  return ok;
}

std::string& TPublisher::Buffer() {
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  return buffer_;
}

bool TPublisher::DigestOf(const std::string& path, std::string& digest, std::string& sha256) {
  plat::TFileStream in;
  if (!in.Open(path, plat::TFileStream::Mode::Read)) return Fail("cannot read " + plat::Utf8FromGbk(path));
  TMd5 md5;
  crypto::TSha256 sha;
  std::string& buffer = Buffer();
  for (;;) {
    int64_t n = in.Read(buffer.data(), buffer.size());
    if (n < 0) return Fail("read error in " + plat::Utf8FromGbk(path));
    if (n == 0) break;
    md5.Update(buffer.data(), static_cast<size_t>(n));
    sha.Update(buffer.data(), static_cast<size_t>(n));
    stats_.BytesRead += n;
  }
  digest = md5.FinalHex();
  sha256 = Sha256Hex(sha.Final());
  return true;
}

bool TPublisher::CopyWithDigest(const std::string& from, const std::string& to, std::string& digest,
                                std::string& sha256, int64_t& size) {
  plat::TFileStream in, out;
  if (!in.Open(from, plat::TFileStream::Mode::Read)) return Fail("cannot read " + plat::Utf8FromGbk(from));
  if (!out.Open(to, plat::TFileStream::Mode::Create)) return Fail("cannot write " + plat::Utf8FromGbk(to));
  TMd5 md5;
  crypto::TSha256 sha;
  std::string& buffer = Buffer();
  size = 0;
  for (;;) {
    int64_t n = in.Read(buffer.data(), buffer.size());
    if (n < 0) return Fail("read error in " + plat::Utf8FromGbk(from));
    if (n == 0) break;
    md5.Update(buffer.data(), static_cast<size_t>(n));
    sha.Update(buffer.data(), static_cast<size_t>(n));
    if (!out.Write(buffer.data(), static_cast<size_t>(n))) return Fail("write error in " + plat::Utf8FromGbk(to));
    size += n;
  }
  stats_.BytesRead += size;
  digest = md5.FinalHex();
  sha256 = Sha256Hex(sha.Final());
  // No flush to disk per file: the rename already keeps readers from half
  // a file, and a sync per file made a 20,000-file run take minutes.
  return true;
}

bool TPublisher::PublishFile(TFile& file, const TCacheRecord* cached) {
  const std::string target = WebPath(file.Zip ? file.Name + ".zip" : file.Name);
  // A record from before the SHA-256 was kept reads the file once more.
  const bool sameSource = cached && cached->Size == file.Size && cached->MTime == file.MTime && !cached->Sha256.empty();
  if (sameSource && cached->Zip == file.Zip && plat::FileSize(target) == cached->Served) {
    file.Hash = cached->Hash;
    file.Sha256 = cached->Sha256;
    file.Served = cached->Served;
    ++stats_.Unchanged;
    return true;
  }
  const std::string source = SourcePath(file.Name);
  const std::string temp = target + kTempSuffix;
  plat::ForceDirectories(target.substr(0, target.rfind('/')));
  if (!file.Zip) {
    int64_t size = 0;
    if (!CopyWithDigest(source, temp, file.Hash, file.Sha256, size)) {
      plat::DeleteFile(temp);
      return false;
    }
    ++stats_.Hashed;
    if (size >= kMaxFileSize) {
      plat::DeleteFile(temp);
      return Fail(file.Utf8 + ": grew to 2 GiB or more while publishing");
    }
    file.Size = static_cast<uint64_t>(size);
    file.Served = size;
    plat::SetLastWriteTime(temp, plat::LastWriteTime(source));
  } else {
    if (sameSource) {
      file.Hash = cached->Hash;
      file.Sha256 = cached->Sha256;
    } else {
      if (!DigestOf(source, file.Hash, file.Sha256)) return false;
      ++stats_.Hashed;
    }
    TZipWriter zip;
    // The launcher unpacks the archive beside itself and looks for the
    // file under its bare name.
    if (!zip.Open(temp) ||
        !zip.AddFileFrom(BareName(file.Name), source, TZipWriter::TMethod::Deflated,
                         static_cast<uint32_t>(plat::FileStamp(source))) ||
        !zip.Close()) {
      zip.Close();
      plat::DeleteFile(temp);
      return Fail(file.Utf8 + ": cannot zip: " + zip.ErrorText());
    }
    stats_.BytesRead += static_cast<int64_t>(file.Size);
    // The digest and the archive come from two reads: a file written to in
    // between would be published with a digest its archive does not match.
    std::error_code ec;
    const fs::path path = FsPath(source);
    const uint64_t sizeNow = fs::file_size(path, ec);
    const auto timeNow = ec ? fs::file_time_type() : fs::last_write_time(path, ec);
    if (ec || sizeNow != file.Size || static_cast<int64_t>(timeNow.time_since_epoch().count()) != file.MTime) {
      plat::DeleteFile(temp);
      return Fail(file.Utf8 + ": changed while it was published; run again");
    }
    file.Served = plat::FileSize(temp);
    if (file.Served >= kMaxFileSize) {
      plat::DeleteFile(temp);
      return Fail(file.Utf8 + ": the archive is 2 GiB or more");
    }
  }
  if (!plat::RenameFile(temp, target)) {
    plat::DeleteFile(temp);
    return Fail("cannot rename " + plat::Utf8FromGbk(temp) + " to " + plat::Utf8FromGbk(target));
  }
  ++stats_.Written;
  return true;
}

bool TPublisher::WritePackage() {
  const std::string archive = WebPath(ops::PackagePath(options_.PackageName));
  const std::string release = WebPath(ops::PackagePath(ops::kPackageManifestName));
  const bool same = stats_.Written == 0 && stats_.Removed == 0 && cache_.Package == options_.PackageName &&
                    plat::FileExists(archive) && plat::FileExists(release);
  if (same) return true;
  const std::string temp = archive + kTempSuffix;
  plat::ForceDirectories(WebPath("complete"));
  TZipWriter zip;
  bool ok = zip.Open(temp);
  const std::string companion = Stem(options_.LauncherExe) + ".update";
  for (const TFile& f : files_) {
    if (!ok) break;
    // The running launcher cannot be replaced while the package unpacks;
    // its companion can, and start-up swaps it in.
    const std::string stored = f.IsLauncher ? companion : f.Name;
    ok = zip.AddFileFrom(stored, SourcePath(f.Name), TZipWriter::TMethod::Deflated,
                         static_cast<uint32_t>(plat::FileStamp(SourcePath(f.Name))));
    stats_.BytesRead += static_cast<int64_t>(f.Size);
  }
  ok = zip.Close() && ok;
  if (!ok) {
    plat::DeleteFile(temp);
    return Fail("cannot write the package: " + zip.ErrorText());
  }
  TReleaseEntry entry;
  entry.File = options_.PackageName;
  const int64_t size = plat::FileSize(temp);
  const int64_t before = stats_.BytesRead;
  if (size >= kMaxFileSize || !DigestOf(temp, entry.MD5, entry.Sha256)) {
    plat::DeleteFile(temp);
    return Fail("the package is 2 GiB or more or cannot be read back");
  }
  stats_.BytesRead = before;  // only game-folder reads are counted
  entry.Size = static_cast<int32_t>(size);
  if (!plat::RenameFile(temp, archive)) {
    plat::DeleteFile(temp);
    return Fail("cannot rename the package into place");
  }
  if (!plat::WriteWholeFile(release, ReleaseText(entry)))
    return Fail("cannot write " + ops::PackagePath(ops::kPackageManifestName));
  stats_.PackageWritten = true;
  return true;
}

bool TPublisher::WriteSignature(const std::string& name, const std::string& signedName, const std::string& text) {
  const uint64_t now = options_.Now ? options_.Now : UnixNow();
  const uint64_t expires = now + static_cast<uint64_t>(options_.ValidDays) * 86400u;
  TManifestSignature signature;
  if (!SignManifest(options_.Key.Private, options_.Key.Public, signedName, text, stats_.Sequence, expires, signature))
    return Fail("cannot sign " + name + " (is the key a pair written by keygen?)");
  const std::string path = WebPath(name + kSignatureSuffix);
  const std::string temp = path + kTempSuffix;
  if (!plat::WriteWholeFile(temp, FormatManifestSignature(signature)) || !plat::RenameFile(temp, path)) {
    plat::DeleteFile(temp);
    return Fail("cannot write " + name + kSignatureSuffix);
  }
  return true;
}

void TPublisher::RemoveServed(const std::string& name, bool zip) {
  const std::string path = WebPath(zip ? name + ".zip" : name);
  plat::ClearAttributes(path);
  plat::DeleteFile(path);
  // Folders left empty go too, up to the web root.
  std::error_code ec;
  const fs::path root = FsPath(options_.WebRoot);
  for (fs::path dir = FsPath(path).parent_path(); dir != root && dir.has_relative_path(); dir = dir.parent_path()) {
    if (!fs::is_empty(dir, ec) || ec || !fs::remove(dir, ec)) break;
  }
}

void TPublisher::ShowProgress(size_t index, const TFile& file) {
  if (!options_.Progress) return;
  std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(files_.size()) + "] " + file.Utf8;
  if (line.size() > 76) line = line.substr(0, 36) + "..." + line.substr(line.size() - 37);
  line.resize(79, ' ');
  progress_ << '\r' << line << std::flush;
}

bool TPublisher::Run() {
  stats_ = {};
  errorText_.clear();
  files_.clear();
  PreparePatterns();
  const bool walked = Walk();
  if (!CheckNames() || !walked) return false;
  std::sort(files_.begin(), files_.end(), [](const TFile& a, const TFile& b) { return a.Name < b.Name; });

  cache_.Load(WebPath(CacheName()));
  std::error_code ec;
  const std::string sourceKey = Utf8Of(fs::weakly_canonical(FsPath(options_.SourceDir), ec));
  const bool trusted = cache_.Source == sourceKey;
  if (!plat::ForceDirectories(options_.WebRoot) && !plat::DirectoryExists(options_.WebRoot))
    return Fail("cannot create " + plat::Utf8FromGbk(options_.WebRoot));

  std::set<std::string> present;
  for (size_t i = 0; i < files_.size(); ++i) {
    TFile& f = files_[i];
    ShowProgress(i, f);
    auto it = cache_.Records.find(f.Name);
    if (!PublishFile(f, trusted && it != cache_.Records.end() ? &it->second : nullptr)) {
      if (options_.Progress) progress_ << "\n";
      return false;
    }
    present.insert(f.Name);
  }
  if (options_.Progress && !files_.empty()) progress_ << "\n";
  for (const auto& [name, record] : cache_.Records)
    if (!present.count(name)) ++stats_.Removed;
  if (options_.Package && !WritePackage()) return false;

  std::vector<TManifestEntry> entries;
  TPublishCache next;
  next.Source = sourceKey;
  if (options_.Package) next.Package = options_.PackageName;
  for (const TFile& f : files_) {
    entries.push_back(
        {WithBackslashes(f.Name), f.Hash, static_cast<int32_t>(f.Served), f.Zip, f.IsLauncher ? 1 : 0, f.Sha256});
    next.Records[f.Name] = {f.Size, f.MTime, f.Hash, f.Zip, f.Served, f.Sha256};
    ++stats_.Files;
    stats_.Bytes += static_cast<int64_t>(f.Size);
    if (f.Zip) ++stats_.Zipped;
  }
  // The manifest goes last: until it is in place, clients keep reading the
  // previous one, whose files are still served. Its signature comes right
  // after it; a client that reads the new manifest with the old signature
  // in between takes it for a failed fetch and tries again next time.
  const std::string manifestText = ManifestText(entries);
  if (!plat::WriteWholeFile(WebPath(ManifestName()), manifestText)) return Fail("cannot write " + ManifestName());
  if (options_.Sign) {
    // Never lower than the last one, and still growing when the cache is
    // lost: the clock's seconds are the floor.
    const uint64_t now = options_.Now ? options_.Now : UnixNow();
    stats_.Sequence = std::max(cache_.Sequence + 1, now);
    next.Sequence = stats_.Sequence;
    if (!WriteSignature(ManifestName(), ManifestName(), manifestText)) return false;
    // The package manifest is signed again with every publication, so
    // that its sequence keeps up with the manifest's.
    const std::string release = ops::PackagePath(ops::kPackageManifestName);
    std::string text;
    if (options_.Package && plat::ReadWholeFile(WebPath(release), text) &&
        !WriteSignature(release, std::string(ops::kPackageManifestName), text))
      return false;
  } else {
    next.Sequence = cache_.Sequence;
  }
  if (!plat::WriteWholeFile(WebPath(CacheName()), next.Text())) return Fail("cannot write " + CacheName());
  // Only now may files that the old manifest still named disappear.
  for (const auto& [name, record] : cache_.Records) {
    auto now = next.Records.find(name);
    if (now == next.Records.end())
      RemoveServed(name, record.Zip);
    else if (now->second.Zip != record.Zip)
      RemoveServed(name, record.Zip);
  }
  return true;
}

}  // namespace lg::publish
