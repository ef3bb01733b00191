#include "servers/TUDPEchoServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Platform.h"
#include "common/Socket.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

struct Echo {
  std::string ip;
  uint32_t elapsed;
  uint32_t tag;
};

class EchoProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sock::LibraryStartup(), 0);
    probe_ = std::make_unique<TUDPEchoServer>(0);
    probe_->SetOnEcho([this](const std::string& ip, uint32_t elapsed, uint32_t tag) {
      std::lock_guard<std::mutex> g(m_);
      echoes_.push_back({ip, elapsed, tag});
      cv_.notify_all();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!probe_->IsOpen() && std::chrono::steady_clock::now() < deadline) plat::SleepMs(5);
    ASSERT_TRUE(probe_->IsOpen());
    sender_ = sock::Open(sock::Kind::Datagram);
  }
  void TearDown() override {
    probe_.reset();
    sock::Close(sender_);
    sock::LibraryCleanup();
  }
  void Send(const std::string& bytes) {
    sock::SendTo(sender_, bytes.data(), static_cast<int>(bytes.size()), sock::ParseIpv4("127.0.0.1"),
                 probe_->LocalPort());
  }
  static std::string Datagram(uint32_t stamp, uint32_t tag) {
    std::string d(8, '\0');
    for (int i = 0; i < 4; ++i) {
      d[i] = static_cast<char>(stamp >> (8 * i));
      d[4 + i] = static_cast<char>(tag >> (8 * i));
    }
    return d;
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> g(m_);
    return cv_.wait_for(g, std::chrono::milliseconds(test::ScaledMs(3000)), [&] { return echoes_.size() >= count; });
  }

  std::unique_ptr<TUDPEchoServer> probe_;
  sock::Handle sender_ = sock::kInvalid;
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Echo> echoes_;
};

TEST_F(EchoProbe, ReportsSourceElapsedAndTagIgnoringOtherLengths) {
  EXPECT_NE(probe_->LocalPort(), 0) << "port 0 becomes a system-chosen port";
  Send(Datagram(0, 1).substr(0, 7));
  Send(Datagram(0, 1) + "x");
  Send(Datagram(MillisecondTicks() - 5, 0x8001));
  ASSERT_TRUE(WaitFor(1));
  plat::SleepMs(50);
  std::lock_guard<std::mutex> g(m_);
  ASSERT_EQ(echoes_.size(), 1u) << "7- and 9-byte datagrams are ignored";
  EXPECT_EQ(echoes_[0].ip, "127.0.0.1");
  EXPECT_EQ(echoes_[0].tag, 0x8001u);
  EXPECT_GE(echoes_[0].elapsed, 5u);
  EXPECT_LT(echoes_[0].elapsed, 5000u);
}

TEST(EchoElapsed, SurvivesTheCounterWrap) {
  EXPECT_EQ(TUDPEchoServer::Elapsed(100, 95), 5u);
  EXPECT_EQ(TUDPEchoServer::Elapsed(3, 0xFFFFFFFEu), 5u);
}

TEST_F(EchoProbe, DestroyReturnsPromptlyWhileWaitingForData) {
  const auto start = std::chrono::steady_clock::now();
  probe_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace lg
