#include "update/zip/ZipUnpack.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/Gbk.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "update/zip/TZipWriter.h"

namespace lg {
namespace {

const uint32_t kTime = TZipWriter::DosDateTime(2019, 12, 31, 23, 59, 58);

// Records what the update thread would log, show and post.
struct THost : IUnzipHost, IZipErrorReporter {
  std::vector<std::string> statuses, logs, errors;
  std::vector<int> files, totals;
  int stopAfterStatuses = -1;  // request a stop once this many statuses were shown

  void ShowStatus(const std::string& text) override { statuses.push_back(Utf8FromGbk(text)); }
  void AddLog(const std::string& text) override { logs.push_back(text); }
  void FilePercent(int p) override { files.push_back(p); }
  void TotalPercent(int p) override { totals.push_back(p); }
  bool StopRequested() const override {
    return stopAfterStatuses >= 0 && static_cast<int>(statuses.size()) >= stopAfterStatuses;
  }
  IZipErrorReporter* ErrorReporter() override { return this; }
  void ShowZipError(const std::string& title, const std::string& text) override { errors.push_back(title + text); }

  static std::string Utf8FromGbk(const std::string& s) { return plat::Utf8FromGbk(s); }
};

std::string Package(const std::string& path) {
  TZipWriter w;
  EXPECT_TRUE(w.Open(path));
  EXPECT_TRUE(w.AddFolder("data", kTime));
  EXPECT_TRUE(w.AddFile("data/ui/skin.dat", std::string(70000, 's'), TZipWriter::TMethod::Deflated, kTime));
  EXPECT_TRUE(w.AddFile(Gbk("说明.txt"), "top level", TZipWriter::TMethod::Stored, kTime));
  EXPECT_TRUE(w.AddFile("data/x.bin", std::string(30000, 'x'), TZipWriter::TMethod::Deflated, kTime));
  EXPECT_TRUE(w.Close());
  return path;
}

TEST(ZipUnpack, PerFileModePutsTheBareNameBesideTheArchive) {
  test::TTempDir dir;
  TZipWriter w;
  ASSERT_TRUE(w.Open(dir.File("client.dll.zip")));
  ASSERT_TRUE(w.AddFolder("build/out", kTime));
  ASSERT_TRUE(w.AddFile("build/out/client.dll", "dll bytes", TZipWriter::TMethod::Deflated, kTime));
  ASSERT_TRUE(w.Close());
  THost host;
  const TUnzipFileResult r = UnzipFile(dir.File("client.dll.zip"), dir.Path(), host);
  EXPECT_TRUE(r.Extracted);
  EXPECT_EQ(r.ArchiveSize, static_cast<uint32_t>(plat::FileSize(dir.File("client.dll.zip"))));
  EXPECT_EQ(test::ReadFileBytes(dir.File("client.dll")), "dll bytes");
  EXPECT_FALSE(plat::DirectoryExists(dir.File("build"))) << "stored folders are dropped";
  EXPECT_EQ(host.statuses, std::vector<std::string>{"解包 client.dll 1/2"});
  ASSERT_FALSE(host.files.empty());
  EXPECT_EQ(host.files.back(), 100);
  EXPECT_TRUE(host.totals.empty()) << "per-file mode reports no overall progress";
  EXPECT_TRUE(plat::FileExists(dir.File("client.dll.zip"))) << "the caller deletes the archive";
}

TEST(ZipUnpack, PerFileArchiveWithoutUsableEntryReportsNothingExtracted) {
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("broken.zip"), "this is not an archive"));
  THost host;
  const TUnzipFileResult r = UnzipFile(dir.File("broken.zip"), dir.Path(), host);
  EXPECT_FALSE(r.Extracted);
  EXPECT_EQ(r.ArchiveSize, 22u);
}

TEST(ZipUnpack, PackageModeRecreatesTheTreeAndDeletesTheArchive) {
  test::TTempDir dir;
  const std::string zip = Package(dir.File("full.zip"));
  THost host;
  EXPECT_TRUE(UnzipPackage(zip, host));
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "data/ui/skin.dat"), std::string(70000, 's'));
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "data/x.bin"), std::string(30000, 'x'));
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + Gbk("说明.txt")), "top level");
  EXPECT_EQ(static_cast<uint32_t>(plat::FileStamp(dir.Path() + "data/x.bin")), kTime);
  EXPECT_FALSE(plat::FileExists(zip));
  EXPECT_EQ(host.statuses, (std::vector<std::string>{"正在解压缩: full.zip", "解包 skin.dat 1/4", "解包 说明.txt 2/4",
                                                     "解包 x.bin 3/4"}));
  ASSERT_FALSE(host.totals.empty());
  EXPECT_TRUE(std::is_sorted(host.totals.begin(), host.totals.end()));
  EXPECT_EQ(host.totals.back(), 100);
}

TEST(ZipUnpack, StopRequestSkipsTheRestAndKeepsTheArchive) {
  test::TTempDir dir;
  const std::string zip = Package(dir.File("full.zip"));
  THost host;
  host.stopAfterStatuses = 2;  // the opening status and the first entry's
  EXPECT_FALSE(UnzipPackage(zip, host));
  EXPECT_TRUE(plat::FileExists(dir.Path() + "data/ui/skin.dat"));
  EXPECT_FALSE(plat::FileExists(dir.Path() + Gbk("说明.txt")));
  EXPECT_FALSE(plat::FileExists(dir.Path() + "data/x.bin"));
  EXPECT_TRUE(plat::FileExists(zip));
}

TEST(ZipUnpack, PackageThatYieldsNothingFailsAndStays) {
  test::TTempDir dir;
  TZipWriter w;
  ASSERT_TRUE(w.Open(dir.File("bad.zip")));
  TZipWriter::TRawEntry e;
  e.Name = "data/a.txt";
  e.Data = "abc";
  e.UncompressedSize = 3;
  e.Crc32 = 0x12345678;  // wrong
  ASSERT_TRUE(w.AddRaw(e));
  ASSERT_TRUE(w.Close());
  THost host;
  EXPECT_FALSE(UnzipPackage(dir.File("bad.zip"), host));
  EXPECT_EQ(host.statuses.back(), "文件解压缩失败，失败，请稍后再试");
  EXPECT_TRUE(plat::FileExists(dir.File("bad.zip")));
  EXPECT_FALSE(plat::FileExists(dir.Path() + "data/a.txt"));
  ASSERT_EQ(host.logs.size(), 1u);
  EXPECT_NE(host.logs[0].find("data/a.txt"), std::string::npos);
}

}  // namespace
}  // namespace lg
