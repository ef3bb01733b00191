#include "tests/unit/update/UpdateSite.h"

#include <gtest/gtest.h>

#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "common/Sha256.h"
#include "update/UpdateMessages.h"
#include "update/zip/TZipWriter.h"

namespace lg::test {
namespace {

const uint32_t kZipTime = TZipWriter::DosDateTime(2024, 5, 6, 7, 8, 10);

std::string JsonText(const std::string& gbk) {
  std::string out;
  for (char c : plat::Utf8FromGbk(gbk)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string BareName(const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace

std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries) {
  TTempDir dir;
  TZipWriter zip;
  EXPECT_TRUE(zip.Open(dir.File("a.zip")));
  for (const auto& [name, content] : entries)
    EXPECT_TRUE(zip.AddFile(name, content, TZipWriter::TMethod::Deflated, kZipTime));
  EXPECT_TRUE(zip.Close());
  return ReadFileBytes(dir.File("a.zip"));
}

std::string TUpdateSite::UrlPath(const std::string& file) {
  std::string path = file;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string TUpdateSite::Publish(const std::vector<TSiteFile>& files, int pass) {
  std::string manifest = "[";
  for (const TSiteFile& f : files) {
    std::string served = f.Content;
    if (f.Zip) served = ZipBytes({{BareName(f.File), f.Content}});
    const std::string hash = f.Hash.empty() ? Md5OfText(f.Content) : f.Hash;
    if (manifest.size() > 1) manifest += ",\n";
    manifest += "{\"File\":\"" + JsonText(f.File) + "\",\"isLauncher\":" + std::to_string(f.IsLauncher) +
                ",\"Need\":" + (f.Need ? "true" : "false") + ",\"Hash\":\"" + hash +
                "\",\"Size\":" + std::to_string(served.size()) + ",\"IsZip\":" + (f.Zip ? "true" : "false");
    if (Strong) manifest += ",\"Sha256\":\"" + (f.Sha256.empty() ? Sha256OfText(f.Content) : f.Sha256) + "\"";
    manifest += "}";
    if (!f.Serve) continue;
    THttpReply reply = THttpReply::Text(served);
    reply.honourRanges = true;
    reply.headers.push_back({"Last-Modified", "Tue, 07 May 2024 10:00:00 GMT"});
    server_.Serve("/patch/" + UrlPath(f.File) + (f.Zip ? ".zip" : ""), reply);
  }
  manifest += "]";
  server_.Serve("/patch/" + TUpdateState::ManifestName(pass), THttpReply::Text(manifest));
  return manifest;
}

std::string TUpdateSite::PublishPackage(const std::string& file,
                                        const std::vector<std::pair<std::string, std::string>>& entries,
                                        int isLauncher) {
  const std::string archive = ZipBytes(entries);
  const std::string release = "{\"File\":\"" + JsonText(file) + "\",\"isLauncher\":" + std::to_string(isLauncher) +
                              ",\"MD5\":\"" + Md5OfText(archive) + "\",\"Size\":" + std::to_string(archive.size()) +
                              (Strong ? ",\"Sha256\":\"" + Sha256OfText(archive) + "\"" : std::string()) + "}";
  server_.Serve("/patchcomplete/release.json", THttpReply::Text(release));
  THttpReply reply = THttpReply::Text(archive);
  reply.honourRanges = true;
  server_.Serve("/patchcomplete/" + UrlPath(file), reply);
  return release;
}

size_t TUpdateSite::Hits(const std::string& target) const {
  size_t n = 0;
  for (const TRecordedRequest& r : server_.Requests()) n += r.target == target;
  return n;
}

size_t TUpdateSite::FileRequests() const {
  size_t n = 0;
  for (const TRecordedRequest& r : server_.Requests()) n += r.target.find(".json") == std::string::npos;
  return n;
}

TInstallation::TInstallation() {
  SetLauncherPath(dir_.File("launcher.exe"));
}

TInstallation::~TInstallation() {
  SetLauncherPath(plat::ExecutablePath());
}

void TInstallation::Write(const std::string& name, const std::string& bytes) {
  const std::string path = Path(name);
  plat::ForceDirectories(path.substr(0, path.find_last_of("/\\") + 1));
  EXPECT_TRUE(WriteFileBytes(path, bytes));
}

int TInstallation::UpdateNow() const {
  return ReadProfileInt(Path("launcher.ini"), "Main", "UpdateNow", -1);
}

void TInstallation::SetUpdateNow(int value) {
  WriteProfileInt(Path("launcher.ini"), "Main", "UpdateNow", value);
}

int TInstallation::RunPass(const std::string& base, int pass, TUpdateThreadOptions options,
                           std::vector<std::string>* leftFailing) {
  Sink.Reset();
  auto thread = std::make_unique<TUpdateThread>(Sink, pass, base, std::move(options));
  const uint32_t start = plat::TickCount();
  while (Sink.Of(WM_UPDATE_DONE).empty() && !thread->Finished() &&
         plat::TickCount() - start < static_cast<uint32_t>(ScaledMs(60000)))
    plat::SleepMs(5);
  thread->WaitFor();
  if (leftFailing) *leftFailing = thread->LeftFailing();
  lastLog_ = thread->LogLines();
  thread.reset();
  const auto done = Sink.Of(WM_UPDATE_DONE);
  if (done.empty()) return -1;
  EXPECT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].LParam, pass);
  return static_cast<int>(done[0].WParam);
}

std::vector<std::string> TInstallation::Statuses() const {
  std::vector<std::string> out;
  for (const TPostedMessage& m : Sink.Of(WM_UPDATE_STATUS)) out.push_back(plat::Utf8FromGbk(m.Text));
  return out;
}

bool TInstallation::Logged(const std::string& utf8) const {
  const std::string gbk = Gbk(utf8);
  for (const std::string& line : lastLog_)
    if (line.find(gbk) != std::string::npos) return true;
  return false;
}

}  // namespace lg::test
