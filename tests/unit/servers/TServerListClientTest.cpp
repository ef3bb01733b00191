#include "servers/TServerListClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "common/Platform.h"
#include "common/Socket.h"
#include "servers/ServerListFrame.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

TEST(ChooseServiceAddress, PicksAmongTheResolvedAddressesOrTheFallback) {
  std::mt19937 random(7);
  std::vector<std::string> lines;
  TLogEvent log = [&](const std::string& line) { lines.push_back(line); };

  EXPECT_EQ(ChooseServiceAddress({}, "192.0.2.1", random, log), "192.0.2.1");
  EXPECT_EQ(lines, (std::vector<std::string>{"init UDP ip=192.0.2.1"}));

  const std::vector<std::string> resolved{"10.0.0.1", "10.0.0.2", "10.0.0.3"};
  lines.clear();
  const std::string chosen = ChooseServiceAddress(resolved, "192.0.2.1", random, log);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "IPlist id=2-3, ip=10.0.0.3");
  EXPECT_EQ(lines[2], "IPlist id=0-3, ip=10.0.0.1");
  EXPECT_EQ(lines[3], "init UDP ip=" + chosen);

  std::set<std::string> seen;
  for (int i = 0; i < 300; ++i) seen.insert(ChooseServiceAddress(resolved, "192.0.2.1", random, [](auto&) {}));
  EXPECT_EQ(seen, std::set<std::string>(resolved.begin(), resolved.end()));
}

// A stand-in for the service: a bound UDP socket the test reads itself.
class ServerListClient : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = sock::Open(sock::Kind::Datagram);
    ASSERT_EQ(sock::Bind(service_, sock::ParseIpv4("127.0.0.1"), 0), 0);
    client_ = std::make_unique<TServerListClient>(
        [](const std::string& host, std::vector<std::string>& list) {
          list.clear();
          if (host == "list.test") list.push_back("127.0.0.1");
        },
        [this](const std::string& line) { lines_.push_back(line); });
    client_->SetOnServerList([this](const std::string& text) {
      std::lock_guard<std::mutex> guard(lock_);
      texts_.push_back(text);
      cv_.notify_all();
    });
    client_->Start("list.test", "192.0.2.1", sock::LocalPort(service_));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!client_->IsOpen() && std::chrono::steady_clock::now() < deadline) plat::SleepMs(5);
    ASSERT_TRUE(client_->IsOpen());
  }
  void TearDown() override {
    client_.reset();
    sock::Close(service_);
  }
  // The next datagram at the service, empty after the wait.
  std::string Receive(int waitMs, uint32_t* ip = nullptr, uint16_t* port = nullptr) {
    if (sock::Select(service_, sock::Wait::Read, test::ScaledMs(waitMs)) != 1) return {};
    char buffer[4096];
    uint32_t fromIp = 0;
    uint16_t fromPort = 0;
    int n = sock::RecvFrom(service_, buffer, sizeof buffer, &fromIp, &fromPort);
    if (ip) *ip = fromIp;
    if (port) *port = fromPort;
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }
  bool WaitForTexts(size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    return cv_.wait_for(guard, std::chrono::milliseconds(test::ScaledMs(3000)), [&] { return texts_.size() >= count; });
  }

  sock::Handle service_ = sock::kInvalid;
  std::unique_ptr<TServerListClient> client_;
  std::vector<std::string> lines_;  // owner thread only
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<std::string> texts_;
};

TEST_F(ServerListClient, ANonDecimalGameIdSendsNothing) {
  EXPECT_EQ(client_->ServiceIp(), "127.0.0.1");
  for (const char* id : {"12a", "", " 12", "99999999999"}) {
    lines_.clear();
    EXPECT_FALSE(client_->Request(id)) << id;
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_NE(lines_[0].find("not a decimal number"), std::string::npos) << lines_[0];
  }
  EXPECT_EQ(Receive(300), "");

  lines_.clear();
  ASSERT_TRUE(client_->Request("-42"));
  EXPECT_EQ(lines_, (std::vector<std::string>{"get serverlist id=-42, ip=127.0.0.1"}));
  const std::string request = Receive(3000);
  EXPECT_EQ(request.size(), 12u);
  EXPECT_EQ(DecodeServerListRequest(request), -42);
}

TEST_F(ServerListClient, RepliesAreAssembledAndEachRequestStartsAfresh) {
  ASSERT_TRUE(client_->Request("5"));
  uint32_t ip = 0;
  uint16_t port = 0;
  ASSERT_EQ(Receive(3000, &ip, &port).size(), 12u);

  // Half a frame, then an unrelated request: the next reply must not be
  // glued to the stale half.
  const std::string first = "xy" + EncodeFrame(ops::kCmdServerListReply, "{\"server\":[]}");
  sock::SendTo(service_, first.data(), 6, ip, port);
  plat::SleepMs(50);
  ASSERT_TRUE(client_->Request("5"));
  ASSERT_EQ(Receive(3000).size(), 12u);
  const std::string reply = EncodeFrame(ops::kCmdServerListReply, "{\"server\":[{\"id\":1}]}");
  sock::SendTo(service_, reply.data(), 10, ip, port);
  sock::SendTo(service_, reply.data() + 10, static_cast<int>(reply.size()) - 10, ip, port);
  ASSERT_TRUE(WaitForTexts(1));
  std::lock_guard<std::mutex> guard(lock_);
  EXPECT_EQ(texts_[0], "{\"server\":[{\"id\":1}]}");
}

}  // namespace
}  // namespace lg
