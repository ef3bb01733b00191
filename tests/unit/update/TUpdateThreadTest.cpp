// Whole update passes against an in-process content server.
#include "update/TUpdateThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "net/udp/HostResolve.h"
#include "tests/unit/update/UpdateSite.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

using test::THttpReply;
using test::TSiteFile;

const std::string kBig(70000, 'b');  // above 4096 bytes: five connections

std::vector<TSiteFile> GameFiles() {
  return {
      {"Client.bin", "client program"},
      {"data\\ui\\skin.dat", kBig},
      {"data\\maps\\m1.map", std::string(9000, 'm'), /*Zip=*/true},
  };
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class UpdateThreadTest : public ::testing::Test {
 protected:
  test::THttpTestServer server_;
  test::TUpdateSite site_{server_};
  test::TInstallation install_;
};

TEST_F(UpdateThreadTest, FreshInstallationDownloadsEverythingInOneRun) {
  const std::string manifest = site_.Publish(GameFiles());
  EXPECT_EQ(install_.RunPass(site_.Base()), 1);

  EXPECT_EQ(install_.Read("Client.bin"), "client program");
  EXPECT_EQ(install_.Read("data/ui/skin.dat"), kBig);
  EXPECT_EQ(install_.Read("data/maps/m1.map"), std::string(9000, 'm'));
  EXPECT_FALSE(plat::FileExists(install_.Path("data/maps/m1.map.zip"))) << "the archive is deleted";
  EXPECT_EQ(install_.Read("data/update.json"), manifest) << "the local copy holds the bytes received";
  EXPECT_EQ(install_.UpdateNow(), 0);

  // Taken from the end of the list, positions counting up.
  const auto statuses = install_.Statuses();
  EXPECT_EQ(statuses.front(), "正在检查更新...");
  EXPECT_TRUE(Contains(statuses, "校验文件：Client.bin"));
  EXPECT_TRUE(Contains(statuses, "正在下载 data\\maps\\m1.map.zip 1/3"));
  EXPECT_TRUE(Contains(statuses, "正在下载 data\\ui\\skin.dat 2/3"));
  EXPECT_TRUE(Contains(statuses, "正在下载 Client.bin 3/3"));
  EXPECT_TRUE(Contains(statuses, "校验 Client.bin ..."));

  // The state file knows every file now.
  const std::string state = install_.Read("data/update0.local");
  EXPECT_NE(state.find("Client.bin=" + Md5OfText("client program") + "-"), std::string::npos) << state;
  EXPECT_NE(state.find("data\\ui\\skin.dat=" + Md5OfText(kBig) + "-"), std::string::npos) << state;
  EXPECT_TRUE(plat::FileExists(install_.Path("UpdateLog.txt")));
  EXPECT_TRUE(install_.Logged(Md5OfText("client program") + "+++" + Md5OfText("client program")));

  // A zero speed before each file, file progress while writing, and the
  // pass's end as the last message.
  int zeroSpeeds = 0;
  for (const auto& m : install_.Sink.Of(WM_UPDATE_SPEED)) zeroSpeeds += m.WParam == 0 && m.LParam == 0;
  EXPECT_EQ(zeroSpeeds, 3);
  EXPECT_FALSE(install_.Sink.Of(WM_UPDATE_FILEPROGRESS).empty());
  EXPECT_EQ(install_.Sink.Messages().back().Message, WM_UPDATE_DONE);
  const auto progress = install_.Sink.Of(WM_UPDATE_PROGRESS);
  const int64_t total = 14 + 70000 + static_cast<int64_t>(test::ZipBytes({{"m1.map", std::string(9000, 'm')}}).size());
  EXPECT_EQ(progress.back().LParam, total);
}

TEST_F(UpdateThreadTest, PipelinedPassFetchesEachFileWithOneRequestOverKeptConnections) {
  server_.SetKeepAlive(100);
  std::vector<TSiteFile> files = GameFiles();
  for (int i = 0; i < 6; ++i) files.push_back({"data\\n" + std::to_string(i) + ".dat", std::string(5000 + i, 'n')});
  site_.Publish(files);
  TUpdateThreadOptions options;
  options.Pipelined = true;
  std::vector<std::string> left;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, options, &left), 1);
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(install_.Read("data/ui/skin.dat"), kBig);
  EXPECT_EQ(install_.Read("data/maps/m1.map"), std::string(9000, 'm'));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(install_.Read("data/n" + std::to_string(i) + ".dat"), std::string(5000 + i, 'n'));
  // One request a file (no probe), on no more connections than files in
  // the air; the manifest's fetch has its own.
  EXPECT_EQ(site_.FileRequests(), files.size());
  EXPECT_LE(server_.Connections(), 1 + TUpdateThread::kFilesInFlight);
  EXPECT_LT(server_.Connections(), static_cast<int>(files.size()));
  const std::string state = install_.Read("data/update0.local");
  EXPECT_NE(state.find("data\\n5.dat=" + Md5OfText(std::string(5005, 'n')) + "-"), std::string::npos) << state;
}

TEST_F(UpdateThreadTest, PipelinedSweepFetchesSmallFilesSideBySide) {
  server_.SetKeepAlive(100);
  std::vector<TSiteFile> files;
  for (int i = 0; i < 9; ++i) files.push_back({"data\\s" + std::to_string(i) + ".dat", std::string(3000 + i, 's')});
  files.push_back({"data\\z.map", std::string(9000, 'z'), /*Zip=*/true});
  files.push_back({"data\\large.dat", std::string(1200000, 'L')});                     // above the side-by-side limit
  files.push_back({"data\\bad.dat", "served", false, 0, true, std::string(32, 'f')});  // wrong digest
  site_.Publish(files);
  // Each answer waits a little, so downloads side by side overlap.
  std::mutex lock;
  int inFlight = 0, most = 0;
  for (const TSiteFile& f : files) {
    THttpReply reply = THttpReply::Text(f.Zip ? test::ZipBytes({{"z.map", f.Content}}) : f.Content);
    reply.honourRanges = true;
    reply.beforeAnswer = [&](const test::TRecordedRequest&) {
      {
        std::lock_guard<std::mutex> guard(lock);
        most = std::max(most, ++inFlight);
      }
      plat::SleepMs(60);
      std::lock_guard<std::mutex> guard(lock);
      --inFlight;
    };
    server_.Serve("/patch/" + test::TUpdateSite::UrlPath(f.File) + (f.Zip ? ".zip" : ""), reply);
  }
  TUpdateThreadOptions options;
  options.Pipelined = true;
  std::vector<std::string> left;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, options, &left), 1);
  EXPECT_EQ(left, std::vector<std::string>{"data\\bad.dat"});
  for (int i = 0; i < 9; ++i) EXPECT_EQ(install_.Read("data/s" + std::to_string(i) + ".dat"), files[i].Content) << i;
  EXPECT_EQ(install_.Read("data/z.map"), std::string(9000, 'z'));
  EXPECT_EQ(install_.Read("data/large.dat"), std::string(1200000, 'L'));
  EXPECT_FALSE(plat::FileExists(install_.Path("data/bad.dat"))) << "its wrong bytes were deleted";
  EXPECT_EQ(site_.Hits("/patch/data/bad.dat"), 3u) << "one attempt per sweep";
  EXPECT_GE(most, 2) << "small files were in the air together";
  EXPECT_LE(most, TUpdateThread::kFilesInFlight);
  const std::string state = install_.Read("data/update0.local");
  for (int i = 0; i < 9; ++i)
    EXPECT_NE(state.find("data\\s" + std::to_string(i) + ".dat=" + Md5OfText(files[i].Content)), std::string::npos);
  // The overall position never passes the total, and the speed always
  // describes a positive time.
  int64_t furthest = 0;
  for (const auto& m : install_.Sink.Of(WM_UPDATE_PROGRESS)) {
    EXPECT_LE(m.WParam, m.LParam);
    furthest = std::max<int64_t>(furthest, m.WParam);
  }
  EXPECT_GE(furthest, static_cast<int64_t>(1200000 + 9 * 3000));
  for (const auto& m : install_.Sink.Of(WM_UPDATE_SPEED)) EXPECT_GE(m.LParam, 0);
}

TEST_F(UpdateThreadTest, SecondRunFetchesNothingAndReadsNoFile) {
  site_.Publish(GameFiles());
  ASSERT_EQ(install_.RunPass(site_.Base()), 1);
  const size_t before = site_.FileRequests();

  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_EQ(site_.FileRequests(), before);
  for (const std::string& line : install_.LogLines())
    EXPECT_EQ(line.find("+++"), std::string::npos) << "no file verified: " << line;
  EXPECT_EQ(install_.UpdateNow(), 0);
}

TEST_F(UpdateThreadTest, CorruptedFileIsDownloadedAgain) {
  site_.Publish(GameFiles());
  ASSERT_EQ(install_.RunPass(site_.Base()), 1);
  install_.Write("data/ui/skin.dat", "damaged");
  // The stamp has a two-second grain: move it so the change is seen.
  plat::SetLastWriteTime(install_.Path("data/ui/skin.dat"), 1500000000);
  const size_t before = site_.Hits("/patch/data/ui/skin.dat");
  const size_t intact = site_.Hits("/patch/Client.bin");

  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_GT(site_.Hits("/patch/data/ui/skin.dat"), before);
  EXPECT_EQ(install_.Read("data/ui/skin.dat"), kBig);
  EXPECT_EQ(site_.Hits("/patch/Client.bin"), intact) << "the intact files are left alone";
}

TEST_F(UpdateThreadTest, UpdateNowTwoInstallsThePackageWithoutComparing) {
  site_.Publish(GameFiles());
  site_.PublishPackage("full.zip", {{"Client.bin", "client program"}, {"data/ui/skin.dat", kBig}});
  install_.SetUpdateNow(2);

  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_EQ(install_.Read("Client.bin"), "client program");
  EXPECT_EQ(install_.Read("data/ui/skin.dat"), kBig);
  EXPECT_FALSE(plat::FileExists(install_.Path("full.zip")));
  EXPECT_EQ(site_.Hits("/patchcomplete/release.json"), 1u);
  EXPECT_EQ(site_.Hits("/patch/Client.bin"), 0u) << "no comparison, no per-file download";
  EXPECT_FALSE(plat::FileExists(install_.Path("data/maps/m1.map")));
  EXPECT_EQ(install_.UpdateNow(), 0);
  EXPECT_TRUE(Contains(install_.Statuses(), "正在下载完整包..."));
  EXPECT_TRUE(Contains(install_.Statuses(), "正在下载 full.zip"));
}

TEST_F(UpdateThreadTest, UpdateNowTwoFallsBackWhenThePackageIsMissing) {
  site_.Publish(GameFiles());
  install_.SetUpdateNow(2);
  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_TRUE(install_.Logged("更新失败，请稍后再试"));
  EXPECT_EQ(install_.Read("data/maps/m1.map"), std::string(9000, 'm'));
  EXPECT_EQ(install_.UpdateNow(), 0);
}

TEST_F(UpdateThreadTest, PackageThatDoesNotExtractIsCheckedAndDeleted) {
  site_.Publish(GameFiles());
  site_.PublishPackage("full.zip", {{"Client.bin", "client program"}});
  // The archive served is damaged: neither extractable nor of the digest.
  test::THttpReply broken = THttpReply::Text(std::string(400, 'z'));
  broken.honourRanges = true;
  server_.Serve("/patchcomplete/full.zip", broken);
  server_.Serve("/patchcomplete/release.json",
                THttpReply::Text("{\"File\":\"full.zip\",\"MD5\":\"" + Md5OfText("other") + "\",\"Size\":400}"));
  install_.SetUpdateNow(2);

  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  const auto statuses = install_.Statuses();
  EXPECT_TRUE(Contains(statuses, "校验下载的文件..."));
  EXPECT_TRUE(Contains(statuses, "full.zip 校验错误，请稍后再试 "));
  EXPECT_FALSE(plat::FileExists(install_.Path("full.zip")));
  // The run fell back to the comparison and fetched every file itself.
  EXPECT_EQ(install_.Read("data/maps/m1.map"), std::string(9000, 'm'));
}

TEST_F(UpdateThreadTest, PackageLeftByAnEarlierRunIsExtractedFirst) {
  site_.Publish({{"Client.bin", "client program"}, {"a.txt", "a"}});
  server_.Serve("/patchcomplete/release.json", THttpReply::Text("{\"File\":\"full.zip\",\"MD5\":\"x\",\"Size\":1}"));
  install_.Write("full.zip", test::ZipBytes({{"Client.bin", "client program"}}));
  install_.SetUpdateNow(2);

  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_EQ(install_.Read("Client.bin"), "client program");
  EXPECT_EQ(site_.Hits("/patch/Client.bin"), 0u) << "found by the comparison after the extraction";
  EXPECT_GT(site_.Hits("/patch/a.txt"), 0u);
  EXPECT_EQ(site_.Hits("/patchcomplete/full.zip"), 0u);
}

TEST_F(UpdateThreadTest, PassStoppedAfterThePackageIsUnpackedDoesNotFetchItAgain) {
  site_.Publish({{"Client.bin", "client program"}, {"a.txt", "a"}});
  server_.Serve("/patchcomplete/release.json", THttpReply::Text("{\"File\":\"full.zip\",\"MD5\":\"x\",\"Size\":1}"));
  THttpReply silent;
  silent.neverAnswer = true;
  server_.Serve("/patch/a.txt", silent);
  install_.Write("full.zip", test::ZipBytes({{"Client.bin", "client program"}}));
  install_.SetUpdateNow(2);

  // Stopped in the comparison's download that follows the unpacking.
  auto thread = std::make_unique<TUpdateThread>(install_.Sink, 0, site_.Base());
  ASSERT_TRUE(test::WaitUntil([&] { return site_.Hits("/patch/a.txt") > 0; }, 5000));
  thread.reset();
  EXPECT_EQ(install_.Read("Client.bin"), "client program");
  EXPECT_FALSE(plat::FileExists(install_.Path("full.zip")));
  EXPECT_EQ(install_.UpdateNow(), 1) << "the next pass compares instead of fetching the package";
}

TEST_F(UpdateThreadTest, PackageWithAnUnsafeNameIsRefused) {
  site_.Publish({{"a.txt", "a"}});
  server_.Serve("/patchcomplete/release.json",
                THttpReply::Text("{\"File\":\"..\\\\full.zip\",\"MD5\":\"x\",\"Size\":1}"));
  install_.SetUpdateNow(2);
  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_TRUE(install_.Logged("完整包的文件名不安全，已跳过: ..\\full.zip"));
  EXPECT_EQ(site_.FileRequests(), site_.Hits("/patch/a.txt"));
}

TEST_F(UpdateThreadTest, UpdateNowSevenDownloadsNothingAndResets) {
  site_.Publish(GameFiles());
  install_.SetUpdateNow(7);
  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_EQ(site_.FileRequests(), 0u);
  EXPECT_FALSE(plat::FileExists(install_.Path("Client.bin")));
  EXPECT_EQ(install_.UpdateNow(), 0);
}

TEST_F(UpdateThreadTest, RecordFailingEverySweepStillEndsWithResultOne) {
  std::vector<TSiteFile> files = GameFiles();
  files.push_back({"data\\gone.dat", "never served"});
  files.back().Serve = false;
  site_.Publish(files);
  std::vector<std::string> left;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, {}, &left), 1);
  EXPECT_EQ(site_.Hits("/patch/data/gone.dat"), 3u) << "one attempt per sweep";
  EXPECT_EQ(left, std::vector<std::string>{"data\\gone.dat"});
  EXPECT_EQ(install_.Read("Client.bin"), "client program");
  const auto statuses = install_.Statuses();
  EXPECT_TRUE(Contains(statuses, "正在下载 data\\gone.dat 1/4"));
  EXPECT_TRUE(Contains(statuses, "正在下载 data\\gone.dat 1/1"));
  EXPECT_EQ(install_.UpdateNow(), 0);

  // The next run finds it again.
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, {}, &left), 1);
  EXPECT_EQ(site_.Hits("/patch/data/gone.dat"), 6u);
}

TEST_F(UpdateThreadTest, WrongDigestIsRetriedAndLogged) {
  site_.Publish({{"a.txt", "published", false, 0, true, std::string(32, 'f')}});
  std::vector<std::string> left;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, {}, &left), 1);
  EXPECT_EQ(left.size(), 1u);
  EXPECT_TRUE(install_.Logged("a.txt  MD5值不正确. md5=" + std::string(32, 'f')));
  // The wrong bytes are gone at once with their record: nothing under the
  // final name, nothing a later run could take as the published file.
  EXPECT_FALSE(plat::FileExists(install_.Path("a.txt")));
  EXPECT_EQ(install_.Read("data/update0.local").find("a.txt="), std::string::npos);
  for (const char* helper : {"a.txt.!tmp", "a.txt.!dl"}) EXPECT_FALSE(plat::FileExists(install_.Path(helper)));
}

TEST_F(UpdateThreadTest, ZippedLauncherDllStaysAsItsArchive) {
  site_.Publish({{"launcher.dll", "browser part", /*Zip=*/true, 0, true, std::string(32, '0')}, {"a.txt", "a"}});
  std::vector<std::string> left;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, {}, &left), 1);
  EXPECT_TRUE(left.empty()) << "counts as done although its digest matches nothing";
  EXPECT_TRUE(plat::FileExists(install_.Path("launcher.dll.zip")));
  EXPECT_FALSE(plat::FileExists(install_.Path("launcher.dll")));
}

TEST_F(UpdateThreadTest, LauncherEntryLandsAsTheCompanion) {
  install_.Write("launcher.exe", "the running launcher");
  site_.Publish({{"launcher.exe", "new launcher", false, /*IsLauncher=*/1}}, 1);
  EXPECT_EQ(install_.RunPass(site_.Base(), 1), 1);
  EXPECT_EQ(install_.Read("launcher.exe"), "the running launcher") << "the executable is never written";
  EXPECT_EQ(install_.Read("launcher.update"), "new launcher");
  EXPECT_NE(install_.Read("data/update1.local").find("launcher.update=" + Md5OfText("new launcher")),
            std::string::npos);

  // The companion is what later runs compare.
  const size_t before = site_.FileRequests();
  EXPECT_EQ(install_.RunPass(site_.Base(), 1), 1);
  EXPECT_EQ(site_.FileRequests(), before);
}

TEST_F(UpdateThreadTest, LauncherEntryNamedLikeTheCompanionKeepsItsName) {
  site_.Publish({{"launcher.update", "new launcher", false, /*IsLauncher=*/1}}, 1);
  EXPECT_EQ(install_.RunPass(site_.Base(), 1), 1);
  EXPECT_EQ(install_.Read("launcher.update"), "new launcher");
  EXPECT_FALSE(plat::FileExists(install_.Path("launcher.exe")));
}

TEST_F(UpdateThreadTest, ZippedLauncherEntryLandsAsTheCompanion) {
  install_.Write("launcher.exe", "the running launcher");
  site_.Publish({{"launcher.exe", "zipped launcher", /*Zip=*/true, 1}}, 1);
  EXPECT_EQ(install_.RunPass(site_.Base(), 1), 1);
  EXPECT_EQ(install_.Read("launcher.exe"), "the running launcher");
  EXPECT_EQ(install_.Read("launcher.update"), "zipped launcher");
}

TEST_F(UpdateThreadTest, UnsafeNamesAreSkippedWithoutCountingAsFailures) {
  site_.Publish({{"..\\evil.txt", "outside"}, {"C:\\evil.txt", "rooted"}, {"a.txt", "a"}});
  std::vector<std::string> left;
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, {}, &left), 1);
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(site_.FileRequests(), site_.Hits("/patch/a.txt")) << "only a.txt";
  EXPECT_TRUE(install_.Logged("更新列表中的文件名不安全，已跳过: ..\\evil.txt"));
  EXPECT_EQ(install_.Read("a.txt"), "a");
}

TEST_F(UpdateThreadTest, WrongKindInTheManifestEndsTheRunWithResultZero) {
  server_.Serve("/patch/update.json", THttpReply::Text("[{\"File\":\"a.txt\",\"Need\":true,\"Size\":\"12\"}]"));
  EXPECT_EQ(install_.RunPass(site_.Base()), 0);
  EXPECT_EQ(site_.FileRequests(), 0u);
}

TEST_F(UpdateThreadTest, ManifestThatIsNoListEndsWithResultZero) {
  // Fails every address: the run gives up after the fallback.
  server_.Serve("/patch/update.json", THttpReply::Text("{\"File\":\"a.txt\"}"));
  TUpdateThreadOptions options;
  options.ResolveHost = [](const std::string&, std::vector<std::string>& list) { list.clear(); };
  TPublicResolverSettings none;
  SetPublicResolverSettings(none);
  EXPECT_EQ(install_.RunPass(site_.Base(), 0, options), 0);
  ResetPublicResolverSettings();
  EXPECT_EQ(install_.Sink.Of(WM_UPDATE_ERROR).size(), 1u);
  EXPECT_EQ(install_.Statuses().back(), "[网络故障]: 域名服务器故障，请稍候再试");
  EXPECT_TRUE(install_.Logged("public DNSIP count 0"));
}

}  // namespace
}  // namespace lg
