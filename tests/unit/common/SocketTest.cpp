#include "common/Socket.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lg {
namespace {

class Sockets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(sock::LibraryStartup(), 0); }
  void TearDown() override { sock::LibraryCleanup(); }
};

TEST_F(Sockets, ErrorTextStartsWithTheWindowsSocketsCode) {
  const std::string text = sock::ErrorText(sock::kTimedOut);
  EXPECT_EQ(text.rfind("10060:", 0), 0u) << text;
  EXPECT_GT(text.size(), 6u);
  EXPECT_NE(text.back(), '.');
  EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
  // A code with no message of its own still gets the shape.
  const std::string unknown = sock::ErrorText(12345678);
  EXPECT_EQ(unknown.rfind("12345678:", 0), 0u) << unknown;
  EXPECT_GT(unknown.size(), 9u);
  EXPECT_NE(unknown.back(), '.');
}

TEST_F(Sockets, RefusedConnectIsReportedAsTheWindowsCode) {
  // Bind a port, close it again: nothing listens there any more.
  sock::Handle probe = sock::Open(sock::Kind::Stream);
  ASSERT_NE(probe, sock::kInvalid);
  ASSERT_EQ(sock::Bind(probe, sock::ParseIpv4("127.0.0.1"), 0), 0);
  uint16_t port = sock::LocalPort(probe);
  sock::Close(probe);

  sock::Handle h = sock::Open(sock::Kind::Stream);
  ASSERT_EQ(sock::SetNonBlocking(h, true), 0);
  int r = sock::Connect(h, sock::ParseIpv4("127.0.0.1"), port);
  if (r != 0) {
    int e = sock::LastError();
    EXPECT_TRUE(e == sock::kWouldBlock || e == sock::kInProgress || e == sock::kConnRefused) << e;
    if (e != sock::kConnRefused) {
      EXPECT_EQ(sock::Select(h, sock::Wait::Write, 5000), 1) << "a failed connect must not look like a time-out";
      EXPECT_EQ(sock::PendingConnectError(h), sock::kConnRefused);
    }
  }
  sock::Close(h);
}

TEST_F(Sockets, SelectTimesOutAndDatagramsCrossLoopback) {
  sock::Handle a = sock::Open(sock::Kind::Datagram);
  sock::Handle b = sock::Open(sock::Kind::Datagram);
  const uint32_t lo = sock::ParseIpv4("127.0.0.1");
  ASSERT_EQ(sock::Bind(a, lo, 0), 0);
  ASSERT_EQ(sock::Bind(b, lo, 0), 0);
  EXPECT_EQ(sock::Select(a, sock::Wait::Read, 30), 0);
  ASSERT_EQ(sock::SendTo(b, "ping", 4, lo, sock::LocalPort(a)), 4);
  ASSERT_EQ(sock::Select(a, sock::Wait::Read, 5000), 1);
  char buf[16];
  uint32_t ip = 0;
  uint16_t port = 0;
  ASSERT_EQ(sock::RecvFrom(a, buf, sizeof buf, &ip, &port), 4);
  EXPECT_EQ(std::string(buf, 4), "ping");
  EXPECT_EQ(ip, lo);
  EXPECT_EQ(port, sock::LocalPort(b));
  sock::Close(a);
  sock::Close(b);
}

TEST_F(Sockets, AddressTexts) {
  for (const char* dotted : {"10.1.2.3", "0.0.0.0", "255.255.255.254", "192.168.0.1", "1.0.0.127"})
    EXPECT_EQ(sock::FormatIpv4(sock::ParseIpv4(dotted)), dotted);
  // The address is in network byte order: the first octet is the first byte.
  const unsigned char bytes[4] = {127, 0, 0, 1};
  uint32_t loopback = 0;
  std::memcpy(&loopback, bytes, 4);
  EXPECT_EQ(sock::FormatIpv4(loopback), "127.0.0.1");
  EXPECT_EQ(sock::ParseIpv4("not an address"), sock::kAddrNone);
  auto local = sock::ResolveIpv4("localhost");
  ASSERT_FALSE(local.empty());
  EXPECT_EQ(sock::FormatIpv4(local.front()).rfind("127.", 0), 0u);
}

}  // namespace
}  // namespace lg
