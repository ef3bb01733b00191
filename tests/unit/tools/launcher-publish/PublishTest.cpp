#include "tools/launcher-publish/TPublisher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "tools/launcher-publish/PublishTool.h"
#include "update/TQueueSink.h"
#include "update/TUpdateLog.h"
#include "update/TUpdateState.h"
#include "update/json/TzqJSONstreamed.h"
#include "update/zip/ZipUnpack.h"

namespace lg::publish {
namespace {

std::string Parent(const std::string& path) {
  return path.substr(0, path.find_last_of("/\\"));
}

class PublishTest : public ::testing::Test {
 protected:
  std::string Src() const { return src_.Path() + "game"; }
  std::string Web() const { return web_.Path() + "www"; }
  // A game file; `name` is UTF-8 with "/" separators.
  void Put(const std::string& name, const std::string& content) {
    const std::string path = Src() + "/" + Gbk(name);
    plat::ForceDirectories(Parent(path));
    ASSERT_TRUE(test::WriteFileBytes(path, content)) << name;
    files_[name] = content;
  }
  // The standard tree: nested folders, a Chinese name, an empty file, two
  // zipped entries.
  void PutTree() {
    Put("Client.bin", std::string(5000, 'c'));
    Put("data/ui/a.dat", "alpha");
    Put("data/地图/场景.map", std::string(70000, 'm') + "end");
    Put("empty.txt", "");
    Put("data/big.pak", std::string(100000, 'p'));
    Put("readme.txt", "read me, zipped");
  }
  int Tool(std::vector<std::string> args, bool terminal = false) {
    out_.str("");
    err_.str("");
    return RunPublishTool(args, out_, err_, terminal);
  }
  int Publish(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--src", Src(), "--out", Web(), "--zip", "**/*.pak", "--zip", "readme.txt"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Tool(args);
  }
  TPublishStats PublishDirect() {
    TPublishOptions o;
    o.SourceDir = Src();
    o.WebRoot = Web();
    o.ZipGlobs = {"**/*.pak", "readme.txt"};
    std::ostringstream sink;
    TPublisher p(o, sink);
    EXPECT_TRUE(p.Run()) << p.ErrorText();
    return p.Stats();
  }
  // The manifest as the launcher's update state reads it.
  std::unique_ptr<TUpdateState> LauncherState(test::TTempDir& launcher, const std::string& manifest = "update.json") {
    plat::ForceDirectories(launcher.File("data"));
    std::string text;
    EXPECT_TRUE(plat::ReadWholeFile(Web() + "/" + manifest, text));
    EXPECT_TRUE(test::WriteFileBytes(launcher.File("data/" + manifest), text));
    auto state =
        std::make_unique<TUpdateState>(launcher.Path(), "launcher.exe", manifest == "update.json" ? 0 : 1, log_, sink_);
    EXPECT_TRUE(state->LoadUpdateJson());
    return state;
  }

  test::TTempDir src_, web_;
  std::map<std::string, std::string> files_;  // UTF-8 name -> content
  std::ostringstream out_, err_;
  TUpdateLog log_;
  TQueueSink sink_;
};

TEST_F(PublishTest, TheLauncherReadsEveryEntryAndFindsTheServedFilesRight) {
  PutTree();
  ASSERT_EQ(Publish(), 0) << err_.str();
  EXPECT_NE(out_.str().find("6 files"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("2 zipped"), std::string::npos) << out_.str();

  test::TTempDir launcher;
  std::unique_ptr<TUpdateState> state = LauncherState(launcher);
  TzqJSONlist* list = state->Manifest();
  ASSERT_EQ(list->Count(), static_cast<int>(files_.size()));
  std::map<std::string, std::string> unseen = files_;
  for (int i = 0; i < list->Count(); ++i) {
    auto* e = static_cast<TzqJSONobject*>(list->Child(i));
    const std::string file = e->FieldText("File");  // GBK, backslashes
    EXPECT_EQ(file.find('/'), std::string::npos) << file;
    std::string utf8 = plat::Utf8FromGbk(file);
    for (char& c : utf8) c = c == '\\' ? '/' : c;
    ASSERT_TRUE(unseen.count(utf8)) << utf8;
    const std::string content = unseen[utf8];
    unseen.erase(utf8);
    EXPECT_EQ(e->FieldText("Hash"), Md5OfText(content)) << utf8;
    EXPECT_TRUE(e->FieldBool("Need"));
    EXPECT_EQ(e->FieldInt("isLauncher"), 0);
    const bool zip = utf8 == "readme.txt" || utf8 == "data/big.pak";
    EXPECT_EQ(e->FieldBool("IsZip"), zip) << utf8;
    const std::string served = Web() + "/" + Gbk(utf8) + (zip ? ".zip" : "");
    EXPECT_EQ(e->FieldInt("Size"), plat::FileSize(served)) << utf8;
    if (!zip) {
      EXPECT_EQ(test::ReadFileBytes(served), content) << utf8;
      continue;
    }
    // Per-file mode: the file comes out under its bare name.
    test::TTempDir unpack;
    TQuietUnzipHost host;
    TUnzipFileResult r = UnzipFile(served, unpack.Path(), host);
    EXPECT_TRUE(r.Extracted);
    EXPECT_EQ(static_cast<int32_t>(r.ArchiveSize), e->FieldInt("Size"));
    EXPECT_EQ(test::ReadFileBytes(unpack.File(utf8.substr(utf8.rfind('/') + 1))), content) << utf8;
  }
  EXPECT_TRUE(unseen.empty());

  // The launcher's comparison: nothing installed means everything to fetch;
  // the right files installed mean nothing to fetch.
  TDownloadList downloads;
  state->LoadLocalState();
  EXPECT_EQ(state->CompareManifest(downloads), 2);
  EXPECT_EQ(downloads.size(), files_.size());
  for (const auto& [name, content] : files_) {
    const std::string path = launcher.Path() + Gbk(name);
    plat::ForceDirectories(Parent(path));
    ASSERT_TRUE(test::WriteFileBytes(path, content));
  }
  std::unique_ptr<TUpdateState> again = LauncherState(launcher);
  TDownloadList none;
  again->LoadLocalState();
  EXPECT_EQ(again->CompareManifest(none), 0);
  EXPECT_TRUE(none.empty());
}

TEST_F(PublishTest, ASecondRunReadsOnlyWhatChangedAndDropsWhatIsGone) {
  PutTree();
  TPublishStats first = PublishDirect();
  EXPECT_EQ(first.Hashed, 6);
  EXPECT_EQ(first.Written, 6);

  TPublishStats same = PublishDirect();
  EXPECT_EQ(same.Hashed, 0);
  EXPECT_EQ(same.Written, 0);
  EXPECT_EQ(same.BytesRead, 0);
  EXPECT_EQ(same.Unchanged, 6);

  Put("data/ui/a.dat", "alpha, second edition");
  TPublishStats changed = PublishDirect();
  EXPECT_EQ(changed.Hashed, 1);
  EXPECT_EQ(changed.Written, 1);
  EXPECT_EQ(changed.BytesRead, 21);
  EXPECT_EQ(changed.Unchanged, 5);
  EXPECT_EQ(test::ReadFileBytes(Web() + "/data/ui/a.dat"), "alpha, second edition");

  // A served file deleted behind the publisher's back is written again.
  ASSERT_TRUE(plat::DeleteFile(Web() + "/readme.txt.zip"));
  TPublishStats healed = PublishDirect();
  EXPECT_EQ(healed.Written, 1);
  EXPECT_EQ(healed.Hashed, 0);
  EXPECT_TRUE(plat::FileExists(Web() + "/readme.txt.zip"));

  ASSERT_TRUE(plat::DeleteFile(Src() + "/data/ui/a.dat"));
  TPublishStats removed = PublishDirect();
  EXPECT_EQ(removed.Removed, 1);
  EXPECT_EQ(removed.Files, 5);
  EXPECT_FALSE(plat::FileExists(Web() + "/data/ui/a.dat"));
  EXPECT_FALSE(plat::DirectoryExists(Web() + "/data/ui"));
  std::string manifest;
  ASSERT_TRUE(plat::ReadWholeFile(Web() + "/update.json", manifest));
  EXPECT_EQ(manifest.find("a.dat"), std::string::npos);

  // No longer zipped: served plain, the archive goes.
  std::vector<std::string> noZip = {"--src", Src(), "--out", Web()};
  ASSERT_EQ(Tool(noZip, true), 0) << err_.str();
  // On a terminal one line is redrawn per file.
  EXPECT_NE(out_.str().find("\r[1/5] "), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("\r[5/5] "), std::string::npos) << out_.str();
  EXPECT_FALSE(plat::FileExists(Web() + "/readme.txt.zip"));
  EXPECT_EQ(test::ReadFileBytes(Web() + "/readme.txt"), files_["readme.txt"]);
}

struct TRefusal {
  const char* name;  // UTF-8
  const char* why;   // a piece of the error text
  bool posixOnly;    // Windows cannot create such a file at all
};

void PrintTo(const TRefusal& c, std::ostream* os) {
  *os << c.name;
}

class PublishRefusalTest : public PublishTest, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(PublishRefusalTest, NamesTheFileAndWritesNothing) {
  const TRefusal& c = GetParam();
  if (c.posixOnly && test::IsWindowsBuild()) GTEST_SKIP() << "Windows cannot hold this name";
  Put("ok.txt", "fine");
  if (std::string(c.name) == "Data.txt") Put("data.txt", "lower");
  if (std::string(c.name) == "a.txt.zip") Put("a.txt", "zipped below");
  std::string gbkName;
  plat::TFileStream file;
  if (plat::TryGbkFromUtf8(c.name, gbkName)) {
    const std::string path = Src() + "/" + gbkName;
    ASSERT_TRUE(plat::ForceDirectories(Parent(path)));
    ASSERT_TRUE(file.Open(path, plat::TFileStream::Mode::Create)) << c.name;
  } else {
    // The platform layer speaks GBK; a name outside it is made through the
    // standard library's own (UTF-8) spelling.
    const std::string utf8 = plat::Utf8FromGbk(Src()) + "/" + c.name;
    std::ofstream made(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())));
    ASSERT_TRUE(made.good());
  }
  if (std::string(c.name) == "huge.bin") {
    ASSERT_TRUE(file.Truncate(TPublisher::kMaxFileSize));
  }
  file.Close();
  EXPECT_EQ(Publish({"--zip", "a.txt"}), 1);
  EXPECT_NE(err_.str().find(c.name), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find(c.why), std::string::npos) << err_.str();
  EXPECT_FALSE(plat::DirectoryExists(Web()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublishRefusalTest,
    ::testing::Values(TRefusal{"CON", "refuses", true}, TRefusal{"data/aux.txt", "refuses", true},
                      TRefusal{"a:b.txt", "refuses", true}, TRefusal{"trail.", "refuses", true},
                      TRefusal{"what?.txt", "refuses", true}, TRefusal{"emoji\xf0\x9f\x98\x80.txt", "GBK", false},
                      TRefusal{"Data.txt", "same Windows name", true}, TRefusal{"a.txt.zip", "would be served", false},
                      TRefusal{"update.json", "the manifest", false}, TRefusal{"huge.bin", "2 GiB", false}));

TEST_F(PublishTest, TheLauncherManifestMarksTheLauncherAndSkipsItsState) {
  Put("launcher.exe", "MZ launcher");
  Put("launcher.dll", "helper");
  Put("launcher.ini", "[Main]\r\nlastserver=3\r\n");
  Put("launcher.update", "MZ older launcher");
  Put("data/update1.local", "x=y-1");
  ASSERT_EQ(Tool({"--src", Src(), "--out", Web(), "--launcher"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("updateL.json: 2 files"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("3 skipped"), std::string::npos) << out_.str();
  EXPECT_FALSE(plat::FileExists(Web() + "/update.json"));
  test::TTempDir launcher;
  std::unique_ptr<TUpdateState> state = LauncherState(launcher, "updateL.json");
  ASSERT_EQ(state->Manifest()->Count(), 2);
  for (int i = 0; i < 2; ++i) {
    auto* e = static_cast<TzqJSONobject*>(state->Manifest()->Child(i));
    EXPECT_EQ(e->FieldInt("isLauncher"), e->FieldText("File") == "launcher.exe" ? 1 : 0) << e->FieldText("File");
  }
  // In the package the launcher travels as its companion, which start-up
  // swaps in; the running executable itself could not be replaced.
  ASSERT_EQ(Tool({"--src", Src(), "--out", web_.Path() + "w4", "--launcher", "--package"}), 0) << err_.str();
  test::TTempDir unpacked;
  ASSERT_TRUE(
      test::WriteFileBytes(unpacked.File("package.zip"), test::ReadFileBytes(web_.Path() + "w4/complete/package.zip")));
  TQuietUnzipHost host;
  ASSERT_TRUE(UnzipPackage(unpacked.File("package.zip"), host));
  EXPECT_EQ(test::ReadFileBytes(unpacked.File("launcher.update")), "MZ launcher");
  EXPECT_FALSE(plat::FileExists(unpacked.File("launcher.exe")));
  EXPECT_EQ(test::ReadFileBytes(unpacked.File("launcher.dll")), "helper");

  // The game pass leaves the launcher out: it cannot be replaced while it runs.
  ASSERT_EQ(Tool({"--src", Src(), "--out", web_.Path() + "w3"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("update.json: 1 files"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("4 skipped"), std::string::npos) << out_.str();

  // A zipped launcher.dll would stay packed on every player's disk.
  EXPECT_EQ(Tool({"--src", Src(), "--out", web_.Path() + "w2", "--launcher", "--zip", "*.dll"}), 1);
  EXPECT_NE(err_.str().find("launcher.dll"), std::string::npos) << err_.str();
}

TEST_F(PublishTest, AnEmptyFolderIsRefused) {
  // The launcher reads a manifest without entries as a failed fetch.
  ASSERT_TRUE(plat::ForceDirectories(Src() + "/data"));
  EXPECT_EQ(Publish(), 1);
  EXPECT_NE(err_.str().find("no files to publish"), std::string::npos) << err_.str();
  EXPECT_FALSE(plat::DirectoryExists(Web()));
  EXPECT_EQ(Tool({"--src", web_.Path() + "missing", "--out", Web()}), 1);
  EXPECT_NE(err_.str().find("not a folder"), std::string::npos) << err_.str();
  Put("a.txt", "a");
  EXPECT_EQ(Tool({"--src", Src(), "--out", Src() + "/www"}), 1);
  EXPECT_NE(err_.str().find("inside it"), std::string::npos) << err_.str();
}

TEST_F(PublishTest, ThePackageUnpacksIntoTheWholeTree) {
  PutTree();
  ASSERT_EQ(Publish({"--package"}), 0) << err_.str();
  std::string text;
  ASSERT_TRUE(plat::ReadWholeFile(Web() + "/complete/release.json", text));
  std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(text);
  ASSERT_TRUE(doc && doc->Kind() == jsObject);
  auto* rel = static_cast<TzqJSONobject*>(doc.get());
  EXPECT_EQ(rel->FieldText("File"), "package.zip");
  EXPECT_EQ(rel->FieldInt("isLauncher"), 0);
  const std::string archive = Web() + "/complete/package.zip";
  EXPECT_EQ(rel->FieldText("MD5"), Md5OfFile(archive));
  EXPECT_EQ(rel->FieldInt("Size"), plat::FileSize(archive));

  // As the launcher does: the archive beside it, unpacked in package mode.
  test::TTempDir launcher;
  ASSERT_TRUE(test::WriteFileBytes(launcher.File("package.zip"), test::ReadFileBytes(archive)));
  TQuietUnzipHost host;
  ASSERT_TRUE(UnzipPackage(launcher.File("package.zip"), host));
  for (const auto& [name, content] : files_)
    EXPECT_EQ(test::ReadFileBytes(launcher.Path() + Gbk(name)), content) << name;

  // Unchanged: the package is left alone; changed: rebuilt.
  const std::string before = test::ReadFileBytes(archive);
  ASSERT_EQ(Publish({"--package"}), 0);
  EXPECT_EQ(out_.str().find("package rebuilt"), std::string::npos) << out_.str();
  Put("empty.txt", "no longer");
  ASSERT_EQ(Publish({"--package"}), 0);
  EXPECT_NE(out_.str().find("package rebuilt"), std::string::npos) << out_.str();
  EXPECT_NE(test::ReadFileBytes(archive), before);
}

}  // namespace
}  // namespace lg::publish
