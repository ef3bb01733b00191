// Update passes: the address fallback of the manifest fetch, and stopping a
// pass from the owner's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "common/Gbk.h"
#include "common/Platform.h"
#include "net/udp/HostResolve.h"
#include "tests/support/FakeDnsServer.h"
#include "tests/unit/update/UpdateSite.h"
#include "update/TUpdateThread.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

using test::THttpReply;

// A name no real resolver knows; the fake resolvers map it to 127.0.0.1.
const char* const kHost = "updates.lgtest.invalid";

int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

class UpdateFallbackTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetPublicResolverSettings(); }

  // The site's base with the test host name instead of the address.
  std::string NamedBase() const {
    return "http://" + std::string(kHost) + ":" + std::to_string(server_.Port()) + "/patch";
  }
  void UsePublicResolver(const test::TFakeDnsServer& dns) {
    TPublicResolverSettings s;
    s.resolvers = {dns.Address()};
    s.port = dns.Port();
    s.receiveTimeoutMs = test::ScaledMs(3000);
    SetPublicResolverSettings(s);
  }
  static TUpdateThreadOptions SystemResolverFinds(std::vector<std::string> found) {
    TUpdateThreadOptions options;
    options.ResolveHost = [found](const std::string& host, std::vector<std::string>& list) {
      EXPECT_EQ(host, kHost);
      list = found;
    };
    return options;
  }
  // Files served; the manifest of pass 0 answered by `manifest` per request
  // number (0 first).
  void PublishWithManifest(std::function<THttpReply(int)> manifest) {
    const std::string text = site_.Publish({{"a.txt", "a"}}, /*pass=*/1);  // route "updateL.json" stays unused
    server_.SetHandler([manifest, text, this](const test::TRecordedRequest& r) {
      if (r.target != "/patch/update.json") return THttpReply::NotFound();
      return manifest(manifestRequests_++);
    });
    manifestText_ = text;
  }

  test::THttpTestServer server_;
  test::TUpdateSite site_{server_};
  test::TInstallation install_;
  std::atomic<int> manifestRequests_{0};
  std::string manifestText_;
};

TEST_F(UpdateFallbackTest, FirstElementWithoutFileTriggersTheFallback) {
  PublishWithManifest([this](int n) {
    return n == 0 ? THttpReply::Text("[{\"Hash\":\"x\",\"Size\":1}]") : THttpReply::Text(manifestText_);
  });
  EXPECT_EQ(install_.RunPass(site_.Base()), 1);
  EXPECT_EQ(manifestRequests_.load(), 2);
  EXPECT_EQ(install_.Sink.Of(WM_UPDATE_ERROR).size(), 1u);
  EXPECT_EQ(install_.Statuses()[1], "#100 : 下载配置文件失败，请检查网络。 ");
  EXPECT_TRUE(install_.Logged("local DNSIP 127.0.0.1"));
  EXPECT_EQ(install_.Read("a.txt"), "a");
  EXPECT_EQ(install_.Read("data/update.json"), manifestText_) << "only a valid manifest is stored";
}

TEST_F(UpdateFallbackTest, SystemResolverAddressesAreTriedFromTheLast) {
  PublishWithManifest([this](int) { return THttpReply::Text(manifestText_); });
  // 127.0.0.9 has no server: tried first, refused at once.
  EXPECT_EQ(install_.RunPass(NamedBase(), 0, SystemResolverFinds({"127.0.0.1", "127.0.0.9"})), 1);
  const auto lines = install_.LogLines();
  size_t first = SIZE_MAX, second = SIZE_MAX;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("local DNSIP 127.0.0.9") != std::string::npos) first = i;
    if (lines[i].find("local DNSIP 127.0.0.1") != std::string::npos) second = i;
  }
  EXPECT_LT(first, second);
  EXPECT_EQ(install_.Sink.Of(WM_UPDATE_ERROR).size(), 2u) << "the direct fetch and 127.0.0.9";
  // The request still names the content host.
  auto requests = server_.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].Header("Host").rfind(kHost, 0), 0u) << requests[0].Header("Host");
  EXPECT_EQ(install_.Read("a.txt"), "a");
}

TEST_F(UpdateFallbackTest, PublicResolverAddressReachesTheManifest) {
  PublishWithManifest([this](int) { return THttpReply::Text(manifestText_); });
  test::TFakeDnsServer dns;
  ASSERT_TRUE(dns.Ok());
  dns.SetHandler([](const test::TDnsQuery& q) {
    return q.name == kHost ? test::TDnsReply::Addresses({"127.0.0.1"}) : test::TDnsReply::NameError();
  });
  UsePublicResolver(dns);
  EXPECT_EQ(install_.RunPass(NamedBase(), 0, SystemResolverFinds({})), 1);
  EXPECT_TRUE(install_.Logged("request public DNSIP"));
  EXPECT_TRUE(install_.Logged("public DNSIP count 1"));
  EXPECT_TRUE(install_.Logged("public DNSIP 127.0.0.1"));
  ASSERT_GE(dns.QueryCount(), 1u);
  EXPECT_EQ(dns.Queries()[0].name, kHost);
  EXPECT_EQ(install_.Read("a.txt"), "a");
}

TEST_F(UpdateFallbackTest, NothingReachableEndsWithTheNetworkStatus) {
  test::TFakeDnsServer dns;  // NXDOMAIN
  UsePublicResolver(dns);
  EXPECT_EQ(install_.RunPass(NamedBase(), 0, SystemResolverFinds({"127.0.0.9"})), 0);
  EXPECT_EQ(install_.Statuses().back(), "[网络故障]: 域名服务器故障，请稍候再试");
  EXPECT_TRUE(install_.Logged("public DNSIP count 0"));
  EXPECT_EQ(install_.Sink.Of(WM_UPDATE_ERROR).size(), 2u);
  EXPECT_EQ(install_.UpdateNow(), -1) << "launcher.ini untouched";
}

TEST_F(UpdateFallbackTest, StopDuringADownloadEndsPromptlyWithoutDone) {
  const std::string big(400000, 's');
  // Taken from the end of the list: big.dat first.
  site_.Publish({{"a.txt", "a"}, {"big.dat", big}});
  ASSERT_EQ(install_.RunPass(site_.Base()), 1);
  // Damaged behind the launcher's back, and served slowly from now on.
  install_.Write("big.dat", "damaged");
  plat::SetLastWriteTime(install_.Path("big.dat"), 1500000000);
  THttpReply slow = THttpReply::Text(big);
  slow.honourRanges = true;
  slow.writeBytes = 2000;
  slow.writeDelayMs = 20;
  server_.Serve("/patch/big.dat", slow);
  const size_t earlier = server_.RequestCount();
  install_.Sink.Reset();

  auto thread = std::make_unique<TUpdateThread>(install_.Sink, 0, site_.Base());
  // Data is flowing once a range beyond the one-byte probe was asked for.
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        const auto requests = server_.Requests();
        for (size_t i = earlier; i < requests.size(); ++i)
          if (requests[i].target == "/patch/big.dat" && requests[i].Header("Range") != "Bytes=0-0") return true;
        return false;
      },
      10000));
  plat::SleepMs(100);
  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  const int64_t ms = MsSince(start);
  std::printf("stop during a download took %lld ms\n", static_cast<long long>(ms));
  EXPECT_LT(ms, test::ScaledMs(200));
  EXPECT_TRUE(install_.Sink.Of(WM_UPDATE_DONE).empty());
  EXPECT_EQ(install_.UpdateNow(), 2) << "the comparison's result survives an interrupted run";
  // The state was saved although the run was stopped: the damaged file's
  // record is gone, the intact one stays.
  const std::string state = install_.Read("data/update0.local");
  EXPECT_EQ(state.find("big.dat="), std::string::npos) << state;
  EXPECT_NE(state.find("a.txt="), std::string::npos) << state;
  EXPECT_NE(install_.Read("UpdateLog.txt").find(Gbk("正在下载 big.dat 1/1")), std::string::npos);
  EXPECT_TRUE(plat::FileExists(install_.Path("big.dat.!dl"))) << "the download resumes next time";
}

TEST_F(UpdateFallbackTest, StopAbortsAManifestFetchBlockedInTheNetwork) {
  THttpReply silent;
  silent.neverAnswer = true;
  server_.Serve("/patch/update.json", silent);
  auto thread = std::make_unique<TUpdateThread>(install_.Sink, 0, site_.Base());
  ASSERT_TRUE(test::WaitUntil([&] { return site_.Hits("/patch/update.json") == 1; }, 5000));
  plat::SleepMs(20);
  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  EXPECT_LT(MsSince(start), test::ScaledMs(300));
  EXPECT_TRUE(install_.Sink.Of(WM_UPDATE_DONE).empty());
  EXPECT_TRUE(install_.Sink.Of(WM_UPDATE_ERROR).empty()) << "a stopped fetch is no failure to show";
  const std::string log = test::ReadFileBytes(install_.Path("UpdateLog.txt"));
  EXPECT_NE(log.find(Gbk("正在检查更新...")), std::string::npos);
}

TEST_F(UpdateFallbackTest, StopEndsAPublicResolverWait) {
  test::TFakeDnsServer dns;
  dns.SetReply(test::TDnsReply::NoReply());
  UsePublicResolver(dns);
  server_.Serve("/patch/update.json", THttpReply::NotFound());
  TUpdateThreadOptions options = SystemResolverFinds({});
  auto thread = std::make_unique<TUpdateThread>(install_.Sink, 0, NamedBase(), options);
  ASSERT_TRUE(dns.WaitForQueries(1, test::ScaledMs(5000)));
  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  EXPECT_LT(MsSince(start), test::ScaledMs(500));
  EXPECT_TRUE(install_.Sink.Of(WM_UPDATE_DONE).empty());
}

}  // namespace
}  // namespace lg
