#include "servers/TServerConfig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "common/Socket.h"
#include "servers/TUDPEchoServer.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

// The document as the service sends it: GBK text.
std::string Doc(const std::string& servers) {
  return Gbk("{\"version\":3,\"server\":[" + servers + "]}");
}

std::vector<int32_t> Ids(const std::vector<TServerInfo>& list) {
  std::vector<int32_t> ids;
  for (const auto& info : list) ids.push_back(info.id);
  return ids;
}

class ServerConfig : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLauncher_ = LauncherPath();
    SetLauncherPath(dir_.File("launcher.exe"));
  }
  void TearDown() override { SetLauncherPath(savedLauncher_); }

  // Host names the fake resolver knows; every call is recorded.
  std::string Resolve(const std::string& host) {
    std::lock_guard<std::mutex> guard(lock_);
    asked_.push_back(host);
    auto it = hosts_.find(host);
    return it == hosts_.end() ? host : it->second;
  }
  THostResolver Resolver() {
    return [this](const std::string& host) { return Resolve(host); };
  }

  test::TTempDir dir_;
  std::string savedLauncher_;
  std::mutex lock_;
  std::map<std::string, std::string> hosts_;
  std::vector<std::string> asked_;
};

TEST_F(ServerConfig, MissingKeysTakeTheirDefaults) {
  TServerConfig config(nullptr, Resolver());
  ASSERT_TRUE(config.LoadFromText(Doc(R"({"name":"一区","ip":"10.0.0.1"},{"name":"b","alias":"","member":""})")));
  auto list = config.NormalList();
  ASSERT_EQ(list.size(), 2u);
  const TServerInfo& first = list[0];
  EXPECT_EQ(first.name, u"一区");
  EXPECT_EQ(first.alias, u"一区");
  EXPECT_EQ(first.ip, "10.0.0.1");
  EXPECT_EQ(first.member, Gbk("推荐"));
  EXPECT_EQ(first.latency, -1);
  EXPECT_EQ(first.port, 0);
  EXPECT_EQ(first.recommend, 0);
  EXPECT_EQ(first.patchurl, "");
  EXPECT_EQ(list[1].alias, u"b");
  EXPECT_EQ(list[1].member, Gbk("推荐"));
  EXPECT_EQ(config.RecommendedCount(), 0);
}

TEST_F(ServerConfig, EveryKeyIsRead) {
  TServerConfig config(nullptr, Resolver());
  ASSERT_TRUE(config.LoadFromText(
      Doc(R"({"name":"n","alias":"a","ip":"1.2.3.4","port":7001.9,"id":-12.7,"recommend":1,"default":3,)"
          R"("version":9,"patchurl":"http://p/","opentime":20240101,"member":"电信","test":0})")));
  TServerInfo info = *config.Normal(0);
  EXPECT_EQ(info.alias, u"a");
  EXPECT_EQ(info.port, 7001);
  EXPECT_EQ(info.id, -12);
  EXPECT_EQ(info.recommend, 1);  // highlighted, but not recommended
  EXPECT_EQ(info.default_, 3);
  EXPECT_EQ(info.version, 9);
  EXPECT_EQ(info.patchurl, "http://p/");
  EXPECT_EQ(info.opentime, 20240101);
  EXPECT_EQ(info.member, Gbk("电信"));
  EXPECT_FALSE(config.DefaultServer());  // a default outside the recommended list counts for nothing
}

TEST_F(ServerConfig, RecommendKeepsItsLowEightBits) {
  struct Row {
    int number;
    bool recommended;
    uint8_t stored;
  };
  for (Row row : {Row{2, true, 2}, Row{258, true, 2}, Row{514, true, 2}, Row{1, false, 1}, Row{256, false, 0},
                  Row{-254, true, 2}}) {
    TServerConfig config(nullptr, Resolver());
    const bool anyNormal = config.LoadFromText(Doc(R"({"id":1,"recommend":)" + std::to_string(row.number) + "}"));
    SCOPED_TRACE(row.number);
    EXPECT_EQ(anyNormal, !row.recommended);
    EXPECT_EQ(config.RecommendedCount(), row.recommended ? 1 : 0);
    auto info = row.recommended ? config.Recommended(0) : config.Normal(0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->recommend, row.stored);
  }
}

TEST_F(ServerConfig, OnlyRecommendedServersGiveFalse) {
  TServerConfig config(nullptr, Resolver());
  EXPECT_FALSE(config.LoadFromText(Doc(R"({"id":1,"recommend":2},{"id":2,"recommend":2})")));
  EXPECT_EQ(Ids(config.RecommendedList()), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(config.NormalCount(), 0);
}

TEST_F(ServerConfig, TheLaterOfTwoDefaultsWins) {
  TServerConfig config(nullptr, Resolver());
  config.LoadFromText(Doc(R"({"id":1,"recommend":2,"default":1},{"id":2,"recommend":2,"default":1},)"
                          R"({"id":3,"recommend":2,"default":0},{"id":4,"recommend":2,"default":-1})"));
  ASSERT_TRUE(config.DefaultServer());
  EXPECT_EQ(config.DefaultServer()->id, 2);
}

TEST_F(ServerConfig, NormalListIsSortedByUnsignedOpeningTime) {
  TServerConfig config(nullptr, Resolver());
  // 3000000000 wraps to a negative 32-bit number and -1 is the largest of all.
  config.LoadFromText(Doc(R"({"id":1,"opentime":-1},{"id":2,"opentime":3000000000},{"id":3,"opentime":5},)"
                          R"({"id":4,"opentime":0},{"id":5,"recommend":2,"opentime":1},{"id":6,"opentime":7})"));
  EXPECT_EQ(Ids(config.NormalList()), (std::vector<int32_t>{4, 3, 6, 2, 1}));
  EXPECT_EQ(Ids(config.RecommendedList()), (std::vector<int32_t>{5}));
}

TEST_F(ServerConfig, FindServerFallsBackInOrder) {
  struct Row {
    const char* servers;
    int32_t id;
    int32_t expected;  // -1: none
    const char* name;  // of the record found, to tell equal ids apart
  };
  const Row rows[] = {
      // A match in the normal list wins over one among the recommended.
      {R"({"id":7,"name":"rec","recommend":2},{"id":7,"name":"normal"})", 7, 7, "normal"},
      {R"({"id":7,"name":"rec","recommend":2},{"id":8,"name":"normal"})", 7, 7, "rec"},
      // Unknown id: the default, else the first recommended, else the first normal.
      {R"({"id":1,"recommend":2},{"id":2,"recommend":2,"default":1},{"id":3})", 99, 2, ""},
      {R"({"id":1,"recommend":2},{"id":2,"recommend":2},{"id":3})", 99, 1, ""},
      {R"({"id":3,"opentime":9},{"id":4,"opentime":2})", 99, 4, ""},
      // First start: lastserver is absent, so 0, and no server has id 0.
      {R"({"id":3,"opentime":9},{"id":5,"recommend":2},{"id":4,"opentime":2})", 0, 5, ""},
      {R"({"id":0,"name":"zero"},{"id":5,"recommend":2,"default":1})", 0, 0, "zero"},
      {"", 1, -1, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.servers);
    TServerConfig config(nullptr, Resolver());
    config.LoadFromText(Doc(row.servers));
    auto found = config.FindServer(row.id);
    if (row.expected < 0) {
      EXPECT_FALSE(found);
      continue;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, row.expected);
    if (*row.name) {
      EXPECT_EQ(plat::GbkFromUtf16(found->name), row.name);
    }
  }
}

TEST_F(ServerConfig, TestServersNeedTheMarkerFile) {
  const std::string doc = Doc(R"({"id":1,"test":1},{"id":2},{"id":3,"recommend":2,"test":5})");
  {
    TServerConfig config(nullptr, Resolver());
    config.LoadFromText(doc);
    EXPECT_EQ(Ids(config.NormalList()), (std::vector<int32_t>{2}));
    EXPECT_EQ(config.RecommendedCount(), 0);
  }
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("showtest.txt"), ""));  // empty is enough
  TServerConfig config(nullptr, Resolver());
  config.LoadFromText(doc);
  EXPECT_EQ(Ids(config.NormalList()), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(config.RecommendedCount(), 1);
}

TEST_F(ServerConfig, HostNamesResolveToTheirFirstAddress) {
  hosts_["game.example.net"] = "10.1.2.3";
  TServerConfig config(nullptr, Resolver());
  config.LoadFromText(Doc(R"({"id":1,"ip":"game.example.net"},{"id":2,"ip":"10.0.0.1|10.0.0.2"},)"
                          R"({"id":3,"ip":"nowhere.invalid"},{"id":4,"ip":"10.9.9.9"},{"id":5})"));
  auto list = config.NormalList();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].ip, "10.1.2.3");
  EXPECT_EQ(list[1].ip, "10.0.0.1|10.0.0.2");
  EXPECT_EQ(list[2].ip, "nowhere.invalid");
  EXPECT_EQ(list[3].ip, "10.9.9.9");
  EXPECT_EQ(list[4].ip, "");
  // Dotted addresses, address lists and empty texts are not asked about.
  EXPECT_EQ(asked_, (std::vector<std::string>{"game.example.net", "nowhere.invalid"}));
}

TEST_F(ServerConfig, ReadingStopsAtAMalformedEntryAndKeepsEarlierRecords) {
  struct Row {
    const char* text;  // UTF-8 (converted to GBK)
    std::vector<int32_t> normal;
  };
  const Row rows[] = {
      {R"({"server":[{"id":1},{"id":2},5,{"id":3}]})", {1, 2}},
      {R"({"server":[{"id":2},{"id":1},{"id":3,"port":"80"},{"id":4}]})", {2, 1}},
      {R"({"server":[{"id":1},{"id":3,"name":null}]})", {1}},
      {R"({"server":[{"id":1},{"id":3,"ip":7}]})", {1}},
      {R"({"server":[{"id":"1"}]})", {}},
      {R"([{"id":1}])", {}},  // top level not an object
      {R"(not json)", {}},
      {R"({"server":{"id":1}})", {}},                            // not an array: ignored
      {R"({"SeRvEr":[{"id":1}],"other":[{"id":9}]})", {1}},      // any letter case
      {R"({"server":[{"id":1}],"server":[{"id":2}]})", {1, 2}},  // every such member
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TServerConfig config(nullptr, Resolver());
    config.LoadFromText(Gbk(R"({"server":[{"id":77}]})"));  // replaced by the next read
    EXPECT_EQ(config.LoadFromText(Gbk(row.text)), !row.normal.empty());
    EXPECT_EQ(Ids(config.NormalList()), row.normal);
  }
}

TEST_F(ServerConfig, EchoTagsPickTheRecord) {
  struct Row {
    uint32_t tag;
    std::string ip;
    int normal0, normal1, recommended0;  // latencies afterwards
  };
  const Row rows[] = {
      {0x8001, "10.0.0.9", -1, -1, 25}, {1, "10.0.0.1", 25, -1, -1},      {2, "10.0.0.2", -1, 25, -1},
      {0, "10.0.0.1", -1, -1, -1},      {0x8000, "10.0.0.9", -1, -1, -1}, {1, "10.0.0.2", -1, -1, -1},
      {3, "10.0.0.1", -1, -1, -1},      {0x8002, "10.0.0.9", -1, -1, -1}, {0x10001, "10.0.0.1", -1, -1, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tag);
    TServerConfig config(nullptr, Resolver());
    config.LoadFromText(Doc(R"({"id":1,"ip":"10.0.0.1","opentime":1},{"id":2,"ip":"10.0.0.2","opentime":2},)"
                            R"({"id":3,"ip":"10.0.0.9","recommend":2})"));
    config.EchoReceived(row.ip, 25, row.tag);
    EXPECT_EQ(config.Normal(0)->latency, row.normal0);
    EXPECT_EQ(config.Normal(1)->latency, row.normal1);
    EXPECT_EQ(config.Recommended(0)->latency, row.recommended0);
  }
}

TEST_F(ServerConfig, ClearForgetsEverything) {
  TServerConfig config(nullptr, Resolver());
  config.LoadFromText(Doc(R"({"id":1,"recommend":2,"default":1},{"id":2})"));
  config.Clear();
  EXPECT_EQ(config.RecommendedCount() + config.NormalCount(), 0);
  EXPECT_FALSE(config.DefaultServer());
  EXPECT_FALSE(config.FindServer(1));
}

// The probe's echoes reach the list through the handler the config sets.
TEST_F(ServerConfig, ProbeEchoesReachTheRecords) {
  TUDPEchoServer probe(0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!probe.IsOpen() && std::chrono::steady_clock::now() < deadline) plat::SleepMs(5);
  ASSERT_TRUE(probe.IsOpen());
  auto config = std::make_unique<TServerConfig>(&probe, Resolver());
  config->LoadFromText(Doc(R"({"id":1,"ip":"127.0.0.1","recommend":2})"));

  sock::Handle sender = sock::Open(sock::Kind::Datagram);
  auto send = [&](uint32_t stamp, uint32_t tag) {
    char d[8];
    for (int i = 0; i < 4; ++i) {
      d[i] = static_cast<char>(stamp >> (8 * i));
      d[4 + i] = static_cast<char>(tag >> (8 * i));
    }
    sock::SendTo(sender, d, 8, sock::ParseIpv4("127.0.0.1"), probe.LocalPort());
  };
  send(MillisecondTicks() - 40, 0x8001);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::ScaledMs(3000));
  while (config->Recommended(0)->latency < 0 && std::chrono::steady_clock::now() < until) plat::SleepMs(5);
  EXPECT_GE(config->Recommended(0)->latency, 40);
  EXPECT_LT(config->Recommended(0)->latency, 40 + test::ScaledMs(3000));

  // Echoes after the config has gone find no receiver and harm nothing.
  config.reset();
  send(MillisecondTicks(), 0x8001);
  plat::SleepMs(50);
  sock::Close(sender);
}

// Probe results arrive on the probe thread while the UDP thread reads new
// documents (run under ThreadSanitizer).
TEST_F(ServerConfig, EchoesWhileReadingDoNotRace) {
  TServerConfig config(nullptr, Resolver());
  const std::string doc = Doc(R"({"id":1,"ip":"10.0.0.1"},{"id":2,"ip":"10.0.0.9","recommend":2})");
  std::atomic<bool> stop{false};
  std::thread echoes([&] {
    for (uint32_t i = 0; !stop; ++i) config.EchoReceived(i % 2 ? "10.0.0.1" : "10.0.0.9", i, i % 2 ? 1 : 0x8001);
  });
  for (int i = 0; i < 200; ++i) {
    EXPECT_TRUE(config.LoadFromText(doc));
    config.FindServer(1);
  }
  stop = true;
  echoes.join();
  EXPECT_EQ(config.NormalCount(), 1);
}

}  // namespace
}  // namespace lg
