#include "tools/serverlist-service/TServerListService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "common/Socket.h"
#include "servers/ServerListFrame.h"
#include "servers/TServerConfig.h"
#include "servers/TServerListClient.h"
#include "tests/support/TestSupport.h"
#include "tools/serverlist-service/ServerListDocument.h"

namespace lg {
namespace {

TEST(PrepareServerList, NamesTheProblem) {
  struct Row {
    std::string text;
    const char* error;  // a part of the error text; null: accepted
  };
  const Row rows[] = {
      {"{\"server\":[{\"name\":\"一区\",\"id\":1}]}", nullptr},
      {"\xEF\xBB\xBF{\"SERVER\":[]}", nullptr},
      {"{\"server\":[", "not valid JSON"},
      {"[{\"server\":[]}]", "top level is an array, expected an object"},
      {"{\"servers\":[]}", "no \"server\" array"},
      {"{\"server\":{}}", "\"server\" is an object, expected an array"},
      {"{\"server\":[{\"id\":1},7]}", "server[1] is a number, expected an object"},
      {"{\"server\":[{\"port\":\"80\"}]}", "server[0].port is a string, expected a number"},
      {"{\"server\":[{\"name\":null}]}", "server[0].name is null, expected a string"},
      {"{\"server\":[{\"name\":\"\xF0\x9F\x98\x80\"}]}", "no GBK code"},
      {"{\"server\":[{\"name\":\"" + std::string(70000, 'a') + "\"}]}", "at most 65535"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    std::string gbk, error;
    const bool ok = PrepareServerList(row.text, gbk, error);
    EXPECT_EQ(ok, row.error == nullptr) << error;
    if (row.error) {
      EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
  }
  std::string gbk, error;
  ASSERT_TRUE(PrepareServerList("{\"server\":[{\"name\":\"一区\"}]}", gbk, error));
  EXPECT_EQ(gbk, Gbk("{\"server\":[{\"name\":\"一区\"}]}"));
}

// A list of `count` servers with Chinese names, as the operator writes it.
std::string MakeList(int count) {
  std::string text = "{\"server\":[";
  for (int i = 1; i <= count; ++i) {
    if (i > 1) text += ",\n";
    text += "{\"name\":\"电信" + std::to_string(i) + "区\",\"ip\":\"10.0." + std::to_string(i / 256) + "." +
            std::to_string(i % 256) + "\",\"port\":" + std::to_string(7000 + i) + ",\"id\":" + std::to_string(i) +
            ",\"recommend\":" + (i % 10 == 0 ? "2" : "0") + ",\"opentime\":" + std::to_string(100000 - i) +
            ",\"member\":\"华东\",\"patchurl\":\"http://patch.example.com/zone/" + std::to_string(i) + "/\"}";
  }
  return text + "]}";
}

class ServerListService : public ::testing::Test {
 protected:
  void StartService(std::optional<int32_t> hub = std::nullopt) {
    TServerListServiceOptions options;
    options.listPath = dir_.File("servers.json");
    options.port = 0;
    options.hubId = hub;
    service_ = std::make_unique<TServerListService>(options, [this](const std::string& line) {
      std::lock_guard<std::mutex> guard(logLock_);
      log_ += line + "\n";
    });
    std::string error;
    ASSERT_TRUE(service_->Load(error)) << error;
    ASSERT_TRUE(service_->Open(error)) << error;
    thread_ = std::thread([this] { service_->Run(stop_); });

    client_ = std::make_unique<TServerListClient>(nullptr, [](const std::string&) {});
    client_->SetOnServerList([this](const std::string& text) {
      // The reply assembly hands a complete frame on again with every later
      // datagram; the document handling must cope, as the launcher's does.
      const bool any = config_.LoadFromText(text);
      std::lock_guard<std::mutex> guard(lock_);
      texts_.push_back(text);
      lastResult_ = any;
      cv_.notify_all();
    });
    client_->Start("127.0.0.1", "192.0.2.1", service_->Port());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!client_->IsOpen() && std::chrono::steady_clock::now() < deadline) plat::SleepMs(5);
    ASSERT_TRUE(client_->IsOpen());
  }
  void TearDown() override {
    client_.reset();
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool WaitForTexts(size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    return cv_.wait_for(guard, std::chrono::milliseconds(test::ScaledMs(5000)), [&] { return texts_.size() >= count; });
  }
  size_t TextCount() {
    std::lock_guard<std::mutex> guard(lock_);
    return texts_.size();
  }
  std::string Log() {
    std::lock_guard<std::mutex> guard(logLock_);
    return log_;
  }

  test::TTempDir dir_;
  std::unique_ptr<TServerListService> service_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  TServerConfig config_{nullptr, [](const std::string& host) { return host; }};
  std::unique_ptr<TServerListClient> client_;
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<std::string> texts_;
  bool lastResult_ = false;
  std::mutex logLock_;
  std::string log_;
};

TEST_F(ServerListService, ALargeListArrivesWholeOverSeveralDatagrams) {
  const std::string list = MakeList(150);
  ASSERT_GT(list.size(), 20000u);
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("servers.json"), list));
  StartService();
  ASSERT_GE(service_->ListSize() + ops::kFrameHeaderSize, 4u * TServerListService::kDatagramSize);

  ASSERT_TRUE(client_->Request("3"));
  ASSERT_TRUE(WaitForTexts(1));
  {
    std::lock_guard<std::mutex> guard(lock_);
    EXPECT_EQ(texts_[0], Gbk(list));
    EXPECT_TRUE(lastResult_);
  }
  EXPECT_EQ(config_.RecommendedCount(), 15);
  EXPECT_EQ(config_.NormalCount(), 135);
  // Sorted by opening time: the last server opened first.
  TServerInfo first = *config_.Normal(0);
  EXPECT_EQ(first.id, 149);
  EXPECT_EQ(first.name, u"电信149区");
  EXPECT_EQ(first.ip, "10.0.0.149");
  EXPECT_EQ(first.port, 7149);
  EXPECT_EQ(first.member, Gbk("华东"));
  EXPECT_EQ(first.patchurl, "http://patch.example.com/zone/149/");
  EXPECT_EQ(config_.Recommended(0)->id, 10);
  EXPECT_EQ(config_.FindServer(77)->name, u"电信77区");
  EXPECT_NE(Log().find("request id=3 from 127.0.0.1:"), std::string::npos) << Log();
}

TEST_F(ServerListService, AnswersOnlyItsGameId) {
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("servers.json"), MakeList(2)));
  StartService(7);
  ASSERT_TRUE(client_->Request("8"));
  plat::SleepMs(test::ScaledMs(300));
  EXPECT_EQ(TextCount(), 0u);
  EXPECT_EQ(service_->Answered(), 0u);
  ASSERT_TRUE(client_->Request("7"));
  ASSERT_TRUE(WaitForTexts(1));
  EXPECT_EQ(service_->Answered(), 1u);
  EXPECT_NE(Log().find("request id=8 from 127.0.0.1:"), std::string::npos);
}

TEST_F(ServerListService, ReloadsAChangedListAndKeepsTheLastGoodOne) {
  const std::string path = dir_.File("servers.json");
  ASSERT_TRUE(test::WriteFileBytes(path, MakeList(2)));
  StartService();
  ASSERT_TRUE(client_->Request("1"));
  ASSERT_TRUE(WaitForTexts(1));
  EXPECT_EQ(config_.NormalCount(), 2);

  ASSERT_TRUE(test::WriteFileBytes(path, MakeList(3)));
  const size_t before = TextCount();
  ASSERT_TRUE(client_->Request("1"));
  ASSERT_TRUE(WaitForTexts(before + 1));
  EXPECT_EQ(config_.NormalCount(), 3);

  ASSERT_TRUE(test::WriteFileBytes(path, "{\"server\":[{\"id\":\"broken\"}]}"));
  const size_t again = TextCount();
  ASSERT_TRUE(client_->Request("1"));
  ASSERT_TRUE(WaitForTexts(again + 1));
  EXPECT_EQ(config_.NormalCount(), 3);
  EXPECT_NE(Log().find("server[0].id is a string, expected a number"), std::string::npos) << Log();
}

TEST_F(ServerListService, RefusesABadListAtStartAndIgnoresStrayDatagrams) {
  TServerListServiceOptions options;
  options.listPath = dir_.File("missing.json");
  TServerListService missing(options, [](const std::string&) {});
  std::string error;
  EXPECT_FALSE(missing.Load(error));
  EXPECT_NE(error.find("missing.json"), std::string::npos) << error;

  ASSERT_TRUE(test::WriteFileBytes(dir_.File("servers.json"), MakeList(1)));
  StartService();
  sock::Handle stray = sock::Open(sock::Kind::Datagram);
  sock::SendTo(stray, "hello", 5, sock::ParseIpv4("127.0.0.1"), service_->Port());
  const std::string wrongCommand = EncodeFrame(ops::kCmdServerListReply, "abcd");
  sock::SendTo(stray, wrongCommand.data(), static_cast<int>(wrongCommand.size()), sock::ParseIpv4("127.0.0.1"),
               service_->Port());
  sock::Close(stray);
  ASSERT_TRUE(client_->Request("1"));
  ASSERT_TRUE(WaitForTexts(1));
  EXPECT_EQ(service_->Answered(), 1u);
  EXPECT_NE(Log().find("not a server list request"), std::string::npos);
}

TEST_F(ServerListService, RunEndsSoonAfterTheStopRequest) {
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("servers.json"), MakeList(1)));
  StartService();
  const auto start = std::chrono::steady_clock::now();
  stop_ = true;
  thread_.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(test::ScaledMs(1000)));
}

}  // namespace
}  // namespace lg
