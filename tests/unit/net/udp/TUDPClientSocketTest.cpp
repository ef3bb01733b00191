// The UDP client socket against a peer socket on 127.0.0.1.
#include "net/udp/TUDPClientSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "common/Platform.h"
#include "common/Socket.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

using Clock = std::chrono::steady_clock;

const uint32_t kLoopback = sock::ParseIpv4("127.0.0.1");

// The far end: a bound UDP socket that records datagrams and can answer.
class TPeer {
 public:
  TPeer() {
    h_ = sock::Open(sock::Kind::Datagram);
    sock::Bind(h_, kLoopback, 0);
    port_ = sock::LocalPort(h_);
  }
  ~TPeer() { sock::Close(h_); }
  uint16_t Port() const { return port_; }

  // The next datagram within the time-out, or false.
  bool Receive(std::string& data, int timeoutMs = test::ScaledMs(2000)) {
    if (sock::Select(h_, sock::Wait::Read, timeoutMs) != 1) return false;
    char buf[70000];
    int n = sock::RecvFrom(h_, buf, sizeof buf, &fromIp_, &fromPort_);
    if (n < 0) return false;
    data.assign(buf, static_cast<size_t>(n));
    return true;
  }
  void Reply(const std::string& data) {
    sock::SendTo(h_, data.data(), static_cast<int>(data.size()), fromIp_, fromPort_);
  }
  uint16_t FromPort() const { return fromPort_; }

 private:
  sock::Handle h_;
  uint16_t port_ = 0;
  uint32_t fromIp_ = 0;
  uint16_t fromPort_ = 0;
};

struct TReceived {
  uint32_t ip;
  uint16_t port;
  std::string data;
  bool zeroBehind;
};

// Collects what OnReceive delivers; can hold the worker inside the callback
// so that a test queues several messages before the next round.
class TCollector {
 public:
  void Attach(TUDPClientSocket& s) {
    s.SetOnReceive([this](uint32_t ip, uint16_t port, const char* data, int length) {
      std::unique_lock<std::mutex> guard(lock_);
      items_.push_back({ip, port, std::string(data, static_cast<size_t>(length)), data[length] == 0});
      changed_.notify_all();
      changed_.wait_for(guard, std::chrono::milliseconds(test::ScaledMs(5000)), [this] { return !hold_; });
    });
  }
  void Hold(bool on) {
    std::lock_guard<std::mutex> guard(lock_);
    hold_ = on;
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(test::ScaledMs(3000)),
                             [&] { return items_.size() >= count; });
  }
  TReceived At(size_t i) {
    std::lock_guard<std::mutex> guard(lock_);
    return items_.at(i);
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<TReceived> items_;
  bool hold_ = false;
};

class UdpClientSocket : public ::testing::Test {
 protected:
  void OpenTo(uint16_t port) {
    socket_.SetHost("127.0.0.1");
    socket_.SetPort(port);
    socket_.Open();
    ASSERT_TRUE(test::WaitUntil([&] { return socket_.IsOpen(); }, 1000));
  }
  // Sends one message, lets the peer learn our address, answers it, and
  // keeps the worker inside OnReceive until Release().
  void HoldWorker() {
    collector_.Attach(socket_);
    ASSERT_EQ(socket_.SendBuffer("hello", 5), 5);
    std::string got;
    ASSERT_TRUE(peer_.Receive(got));
    ASSERT_EQ(got, "hello");
    collector_.Hold(true);
    peer_.Reply("hold");
    ASSERT_TRUE(collector_.WaitFor(1));
  }
  void Release() { collector_.Hold(false); }

  TPeer peer_;
  TCollector collector_;
  TUDPClientSocket socket_;
};

TEST_F(UdpClientSocket, SendBufferBounds) {
  // Closed: refused, and an owned buffer is freed (the leak checker sees it).
  EXPECT_EQ(socket_.SendBuffer(new uint8_t[12](), 12, true), 0);
  EXPECT_EQ(socket_.SendBuffer("abc", 3), 0);
  OpenTo(peer_.Port());
  EXPECT_EQ(socket_.SendBuffer("abc", 0), 0);
  EXPECT_EQ(socket_.SendBuffer(new uint8_t[TUDPClientSocket::kMaxSendLength + 1](),
                               TUDPClientSocket::kMaxSendLength + 1, true),
            0);
  std::vector<uint8_t> big(TUDPClientSocket::kMaxSendLength, 'z');
  EXPECT_EQ(socket_.SendBuffer(big.data(), static_cast<int>(big.size())), TUDPClientSocket::kMaxSendLength);
  size_t total = 0;
  std::string got;
  while (total < big.size() && peer_.Receive(got)) {
    EXPECT_EQ(got.size(), std::min<size_t>(4096, big.size() - total));
    total += got.size();
  }
  EXPECT_EQ(total, big.size());
}

TEST_F(UdpClientSocket, SmallMessagesShareOneDatagram) {
  OpenTo(peer_.Port());
  HoldWorker();
  uint8_t* owned = new uint8_t[12];
  std::memset(owned, 'A', 12);
  EXPECT_EQ(socket_.SendBuffer(owned, 12, true), 12);
  EXPECT_EQ(socket_.SendBuffer("BBBBBBBBBBBB", 12), 12);
  Release();
  std::string got;
  ASSERT_TRUE(peer_.Receive(got));
  EXPECT_EQ(got, "AAAAAAAAAAAABBBBBBBBBBBB");
}

TEST_F(UdpClientSocket, LongMessageLeavesIn4096ByteDatagrams) {
  OpenTo(peer_.Port());
  HoldWorker();
  std::string a(12, 'a'), c(12, 'c'), b(5000, 'b');
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>('0' + i % 10);
  socket_.SendBuffer(a.data(), 12);
  socket_.SendBuffer(b.data(), 5000);
  socket_.SendBuffer(c.data(), 12);
  Release();
  // a alone (b would overflow its datagram), then b's first 4096 bytes, then
  // b's last 904 bytes joined by c.
  std::vector<std::string> expected = {a, b.substr(0, 4096), b.substr(4096) + c};
  for (const std::string& want : expected) {
    std::string got;
    ASSERT_TRUE(peer_.Receive(got));
    EXPECT_EQ(got.size(), want.size());
    EXPECT_EQ(got, want);
  }
}

TEST_F(UdpClientSocket, DatagramsArriveWithZeroBehind) {
  OpenTo(peer_.Port());
  collector_.Attach(socket_);
  socket_.SendBuffer("hi", 2);
  std::string got;
  ASSERT_TRUE(peer_.Receive(got));
  peer_.Reply(std::string(4096, 'x'));
  ASSERT_TRUE(collector_.WaitFor(1));
  // A shorter datagram over the longer one: the zero must follow it.
  peer_.Reply(std::string(10, 'y'));
  ASSERT_TRUE(collector_.WaitFor(2));
  TReceived first = collector_.At(0), second = collector_.At(1);
  EXPECT_EQ(first.data, std::string(4096, 'x'));
  EXPECT_TRUE(first.zeroBehind);
  EXPECT_EQ(first.ip, kLoopback);
  EXPECT_EQ(first.port, peer_.Port());
  EXPECT_EQ(second.data, std::string(10, 'y'));
  EXPECT_TRUE(second.zeroBehind);
}

TEST_F(UdpClientSocket, HostAndPortChangeOnlyWhileClosed) {
  socket_.SetHost(std::string(100, 'h'));
  EXPECT_EQ(socket_.Host(), std::string(63, 'h'));
  // Open attempts are spaced even after Close: keep the test short.
  socket_.SetReopenSpacingMs(100);
  OpenTo(peer_.Port());
  socket_.SetHost("10.1.2.3");
  socket_.SetPort(9);
  EXPECT_EQ(socket_.Host(), "127.0.0.1");
  EXPECT_EQ(socket_.Port(), peer_.Port());
  socket_.SendBuffer("one", 3);
  std::string got;
  ASSERT_TRUE(peer_.Receive(got));
  EXPECT_EQ(got, "one");

  socket_.Close();
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_FALSE(socket_.WantOpen());
  TPeer other;
  socket_.SetPort(other.Port());
  EXPECT_EQ(socket_.Port(), other.Port());
  socket_.Open();
  ASSERT_TRUE(test::WaitUntil([&] { return socket_.IsOpen(); }, 1000));
  socket_.SendBuffer("two", 3);
  ASSERT_TRUE(other.Receive(got));
  EXPECT_EQ(got, "two");
}

TEST(UdpSocketErrors, TextsAndRaising) {
  struct {
    int code;
    const char* text;
  } rows[] = {
      {10024, "No more socket descriptors are available."},
      {10048, "The specified address is already in use."},
      {10055, "No buffer space is available. The socket cannot be created."},
      {10093, "A successful WSAStartup must occur before using this function."},
      {10060, "ErrorCode is 10060"},
      {0, "ErrorCode is 0"},
  };
  for (const auto& row : rows) EXPECT_EQ(TCustomUDPSocket::ErrorCodeText(row.code), row.text) << row.code;

  TUDPClientSocket s;
  try {
    s.ReportError(10060);
    FAIL() << "no exception";
  } catch (const EUDPSocketError& e) {
    EXPECT_STREQ(e.what(), "ErrorCode is 10060 (10060)");
    EXPECT_EQ(e.Code(), 10060);
  }
  std::string seen;
  s.SetOnError([&](const std::string& text, int& code) {
    seen = text;
    if (code == 10024) code = 0;
  });
  EXPECT_NO_THROW(s.ReportError(10024));
  EXPECT_EQ(seen, "No more socket descriptors are available.");
  // A handler may also change the code that is raised.
  s.SetOnError([](const std::string&, int& code) { code = 10048; });
  try {
    s.ReportError(10024);
    FAIL() << "no exception";
  } catch (const EUDPSocketError& e) {
    EXPECT_STREQ(e.what(), "No more socket descriptors are available. (10048)");
  }
}

// An empty host never resolves, so every open attempt fails.
TEST(UdpSocketWorker, FailedOpensAreSpacedAndTheFirstIsImmediate) {
  constexpr uint32_t kSpacing = 300;
  std::mutex lock;
  std::vector<Clock::time_point> attempts;
  std::vector<int> codes;
  TUDPClientSocket s;
  s.SetReopenSpacingMs(kSpacing);
  s.SetOnError([&](const std::string&, int& code) {
    std::lock_guard<std::mutex> guard(lock);
    attempts.push_back(Clock::now());
    codes.push_back(code);
    code = 0;
  });
  auto opened = Clock::now();
  s.Open();
  plat::SleepMs(1100);
  s.Close();
  std::lock_guard<std::mutex> guard(lock);
  ASSERT_GE(attempts.size(), 2u);
  EXPECT_LE(attempts.size(), 5u);
  EXPECT_LT(attempts[0] - opened, std::chrono::milliseconds(test::ScaledMs(200)));
  for (size_t i = 1; i < attempts.size(); ++i)
    EXPECT_GE(attempts[i] - attempts[i - 1], std::chrono::milliseconds(kSpacing - 15));
  for (int code : codes) EXPECT_EQ(code, TCustomUDPSocket::kHostNotFound);
  EXPECT_FALSE(s.IsOpen());
}

TEST(UdpSocketWorker, SurvivesUnhandledOpenFailure) {
  TPeer peer;
  TUDPClientSocket s;
  s.SetReopenSpacingMs(100);
  s.Open();  // no host yet: the open fails and raises on the worker
  plat::SleepMs(50);
  EXPECT_FALSE(s.IsOpen());
  s.SetHost("127.0.0.1");
  s.SetPort(peer.Port());
  ASSERT_TRUE(test::WaitUntil([&] { return s.IsOpen(); }, 2000));
  s.SendBuffer("alive", 5);
  std::string got;
  ASSERT_TRUE(peer.Receive(got));
  EXPECT_EQ(got, "alive");
}

// Port 0 is not a valid destination: the send fails, the socket closes and
// reopens after the spacing, and the staged bytes wait for a good address.
TEST(UdpSocketWorker, SendFailureReopensAndKeepsStagedData) {
  TPeer peer;
  std::mutex lock;
  std::vector<int> codes;
  TUDPClientSocket s;
  s.SetReopenSpacingMs(100);
  s.SetOnError([&](const std::string&, int& code) {
    std::lock_guard<std::mutex> guard(lock);
    codes.push_back(code);  // not cleared: raised on the worker
  });
  s.SetHost("127.0.0.1");
  s.SetPort(0);
  s.Open();
  ASSERT_TRUE(test::WaitUntil([&] { return s.IsOpen(); }, 1000));
  ASSERT_EQ(s.SendBuffer("kept", 4), 4);
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        std::lock_guard<std::mutex> guard(lock);
        return codes.size() >= 2;
      },
      3000));
  {
    std::lock_guard<std::mutex> guard(lock);
    for (int code : codes) EXPECT_NE(code, 0);
  }
  s.Close();
  s.SetPort(peer.Port());
  s.Open();
  std::string got;
  ASSERT_TRUE(peer.Receive(got));
  EXPECT_EQ(got, "kept");
}

TEST(UdpSocketWorker, DestroyIsPromptWithQueuedData) {
  TPeer peer;
  auto start = Clock::now();
  {
    TUDPClientSocket s;
    s.SetHost("127.0.0.1");
    s.SetPort(peer.Port());
    s.SetOnReceive([](uint32_t, uint16_t, const char*, int) {});
    s.Open();
    ASSERT_TRUE(test::WaitUntil([&] { return s.IsOpen(); }, 1000));
    for (int i = 0; i < 200; ++i) s.SendBuffer(new uint8_t[3000](), 3000, true);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(test::ScaledMs(1500)));
}

}  // namespace
}  // namespace lg
