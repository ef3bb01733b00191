// Pipelined sweeps: large and small records in the air together, against an
// in-process content server that holds each answer back a little so that
// downloads side by side overlap.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "common/Md5.h"
#include "common/Platform.h"
#include "tests/unit/update/UpdateSite.h"
#include "update/TUpdateThread.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

using test::THttpReply;
using test::TSiteFile;

constexpr int64_t kLarge = 1048576;  // a file above this needs more than its first answer

TSiteFile Small(int i) {
  return {"data\\s" + std::to_string(i) + ".dat", std::string(3000 + i, static_cast<char>('a' + i))};
}

TSiteFile Large(const std::string& name, size_t size, char fill) {
  return {"data\\" + name, std::string(size, fill)};
}

int64_t SizeOf(const std::vector<TSiteFile>& files) {
  int64_t bytes = 0;
  for (const TSiteFile& f : files) bytes += static_cast<int64_t>(f.Content.size());
  return bytes;
}

// Which requests are being answered: the most at once, and whether one of
// a large file was answered while one of a small file was.
class TFlightWatch {
 public:
  void Serve(test::THttpTestServer& server, const TSiteFile& file) {
    THttpReply reply = file.Serve ? THttpReply::Text(file.Content) : THttpReply::NotFound();
    reply.honourRanges = file.Serve;
    const bool large = static_cast<int64_t>(file.Content.size()) > kLarge;
    reply.beforeAnswer = [this, large](const test::TRecordedRequest&) {
      Enter(large);
      plat::SleepMs(60);
      Leave(large);
    };
    server.Serve("/patch/" + test::TUpdateSite::UrlPath(file.File), reply);
  }
  int Most() const {
    std::lock_guard<std::mutex> guard(lock_);
    return most_;
  }
  bool LargeBesideSmall() const {
    std::lock_guard<std::mutex> guard(lock_);
    return mixed_;
  }

 private:
  void Enter(bool large) {
    std::lock_guard<std::mutex> guard(lock_);
    (large ? large_ : small_)++;
    most_ = std::max(most_, large_ + small_);
    mixed_ = mixed_ || (large_ > 0 && small_ > 0);
  }
  void Leave(bool large) {
    std::lock_guard<std::mutex> guard(lock_);
    (large ? large_ : small_)--;
  }

  mutable std::mutex lock_;
  int large_ = 0, small_ = 0, most_ = 0;
  bool mixed_ = false;
};

class SideBySideSweepTest : public ::testing::Test {
 protected:
  // Publishes `files`, serves them through the watch and runs one
  // pipelined pass; returns the pass's result.
  int RunPipelined(const std::vector<TSiteFile>& files, std::vector<std::string>& left) {
    server_.SetKeepAlive(100);
    site_.Publish(files);
    for (const TSiteFile& f : files) watch_.Serve(server_, f);
    TUpdateThreadOptions options;
    options.Pipelined = true;
    return install_.RunPass(site_.Base(), 0, options, &left);
  }
  std::string Installed(const TSiteFile& f) const {
    std::string path = f.File;
    std::replace(path.begin(), path.end(), '\\', '/');
    return install_.Read(path);
  }
  // The last position posted, after checking that none passed the total
  // and that the last one is out of the pass's total.
  int64_t LastPosition(int64_t total) const {
    const auto progress = install_.Sink.Of(WM_UPDATE_PROGRESS);
    for (const auto& m : progress) EXPECT_LE(m.WParam, m.LParam);
    if (progress.empty()) return -1;
    EXPECT_EQ(progress.back().LParam, total);
    return static_cast<int64_t>(progress.back().WParam);
  }

  test::THttpTestServer server_;
  test::TUpdateSite site_{server_};
  test::TInstallation install_;
  TFlightWatch watch_;
};

TEST_F(SideBySideSweepTest, LargeFilesFlyBesideSmallOnesAndEveryFileIsVerifiedAndInstalled) {
  // Taken from the end: three small ones are in the air when the first
  // large one comes up. Each large one has ranges for five workers after
  // its first answer, more than the budget holds for three of them.
  const size_t many = 3600000;
  const std::vector<TSiteFile> files = {Small(0), Large("l1.dat", many, 'L'), Small(1), Large("l2.dat", many, 'M'),
                                        Small(2), Large("l3.dat", many, 'N'), Small(3), Small(4),
                                        Small(5)};
  std::vector<std::string> left;
  ASSERT_EQ(RunPipelined(files, left), 1);
  EXPECT_TRUE(left.empty());

  const std::string state = install_.Read("data/update0.local");
  for (const TSiteFile& f : files) {
    EXPECT_EQ(Installed(f), f.Content) << f.File;
    EXPECT_NE(state.find(f.File + "=" + Md5OfText(f.Content) + "-"), std::string::npos) << f.File;
    EXPECT_TRUE(install_.Logged(Md5OfText(f.Content) + "+++" + Md5OfText(f.Content))) << f.File;
  }
  EXPECT_TRUE(watch_.LargeBesideSmall()) << "a large file waited for the small ones";
  // The sweep's workers share one budget of connections; the manifest's
  // fetch has its own.
  EXPECT_LE(watch_.Most(), TUpdateThread::kSweepConnections);
  EXPECT_LE(server_.Connections(), 1 + TUpdateThread::kSweepConnections);
  EXPECT_EQ(LastPosition(SizeOf(files)), SizeOf(files)) << "the progress ends at the total";
  for (const auto& m : install_.Sink.Of(WM_UPDATE_SPEED)) EXPECT_GE(m.LParam, 0);
}

TEST_F(SideBySideSweepTest, FailingLargeFilesDoNotStopTheSmallOnes) {
  TSiteFile missing = Large("gone.dat", 1500000, 'G');
  missing.Serve = false;  // 404 every time
  TSiteFile wrong = Large("wrong.dat", 1300000, 'W');
  wrong.Hash = std::string(32, 'f');  // arrives whole, fails its digest
  const std::vector<TSiteFile> files = {Small(0), Small(1), missing, Small(2), Small(3), wrong, Small(4), Small(5)};
  std::vector<std::string> left;
  ASSERT_EQ(RunPipelined(files, left), 1);
  EXPECT_EQ(left, (std::vector<std::string>{missing.File, wrong.File}));

  int64_t installed = 0;
  for (const TSiteFile& f : files) {
    if (f.File == missing.File || f.File == wrong.File) continue;
    EXPECT_EQ(Installed(f), f.Content) << f.File;
    // Fetched in the first sweep, beside the failing ones.
    EXPECT_EQ(site_.Hits("/patch/" + test::TUpdateSite::UrlPath(f.File)), 1u) << f.File;
    installed += static_cast<int64_t>(f.Content.size());
  }
  EXPECT_FALSE(plat::FileExists(install_.Path("data/gone.dat")));
  EXPECT_FALSE(plat::FileExists(install_.Path("data/wrong.dat"))) << "its wrong bytes were deleted";
  EXPECT_EQ(site_.Hits("/patch/data/gone.dat"), 3u) << "one attempt per sweep";
  EXPECT_TRUE(watch_.LargeBesideSmall());
  EXPECT_EQ(LastPosition(SizeOf(files)), installed) << "the position ends with what was installed";
}

}  // namespace
}  // namespace lg
