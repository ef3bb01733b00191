#include "Library/hDownload/TBlockSocket.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

using test::THttpReply;
using test::THttpTestServer;

// A peer that sends `raw` in pieces of `piece` bytes, `pauseMs` apart, once
// the client has sent a request.
struct TRawPeer {
  THttpTestServer server;
  TRawPeer(const std::string& raw, size_t piece = 0, int pauseMs = 0, int64_t stallAfter = -1) {
    THttpReply r;
    r.raw = raw;
    r.writeBytes = piece;
    r.writeDelayMs = pauseMs;
    r.stallAfter = stallAfter;
    server.Serve("/", r);
  }
  void Open(TBlockSocket& s) {
    ASSERT_TRUE(s.Connect("127.0.0.1", server.Port(), 10000)) << s.LastErrorText();
    const std::string request = "GET / HTTP/1.1\r\n\r\n";
    ASSERT_EQ(s.SendString(request), static_cast<int>(request.size()));
  }
};

TEST(TBlockSocket, ConnectRefusesBadArgumentsWithoutASocket) {
  TBlockSocket s;
  EXPECT_FALSE(s.Connect("", 80, 1000));
  EXPECT_FALSE(s.Connect("127.0.0.1", 0, 1000));
  EXPECT_FALSE(s.Connect("127.0.0.1", -1, 1000));
  EXPECT_FALSE(s.Connected());
  EXPECT_EQ(s.SendString("x"), 0);  // not connected: nothing sent, no failure
}

TEST(TBlockSocket, RefusedConnectFailsAtOnce) {
  uint16_t port;
  {
    THttpTestServer gone;
    port = gone.Port();
  }
  TBlockSocket s;
  const uint32_t start = plat::TickCount();
  EXPECT_FALSE(s.Connect("127.0.0.1", port, 10000));
  EXPECT_LT(plat::TickCount() - start, static_cast<uint32_t>(test::ScaledMs(2000)));
  EXPECT_EQ(s.LastError(), sock::kConnRefused);
  EXPECT_EQ(s.LastErrorText().rfind("10061:", 0), 0u) << s.LastErrorText();
  EXPECT_EQ(s.PeerText(), "127.0.0.1:" + std::to_string(port));
}

TEST(TBlockSocket, UnknownHostFails) {
  TBlockSocket s;
  EXPECT_FALSE(s.Connect("no-such-host.invalid", 80, 1000));
  EXPECT_FALSE(s.Connected());
  EXPECT_NE(s.LastError(), 0);
}

TEST(TBlockSocket, ServerThatNeverAnswersTimesOutWith10060) {
  THttpTestServer server;
  THttpReply silent;
  silent.neverAnswer = true;
  server.Serve("/", silent);
  TBlockSocket s;
  ASSERT_TRUE(s.Connect("localhost", server.Port(), 10000)) << s.LastErrorText();
  ASSERT_EQ(s.SendString("GET / HTTP/1.1\r\n\r\n"), 18);
  const char* block = nullptr;
  const uint32_t start = plat::TickCount();
  EXPECT_EQ(s.RecvBuffer(100, &block), 0);
  const uint32_t waited = plat::TickCount() - start;
  EXPECT_GE(waited, 5900u);
  EXPECT_LT(waited, static_cast<uint32_t>(test::ScaledMs(9000)));
  EXPECT_EQ(s.LastError(), 10060);
  EXPECT_EQ(s.LastErrorText().rfind("10060:", 0), 0u) << s.LastErrorText();
}

TEST(TBlockSocket, LineEndsOfEveryKind) {
  // CR LF, bare LF, bare CR, and a CR LF split across two sends.
  // The first piece of 20 bytes ends with the CR of "four".
  TRawPeer peer(std::string("one\r\ntwo\nthree\rfour\r") + "\nfive\r\n" + "rest", 20, 150);
  TBlockSocket s;
  peer.Open(s);
  std::string line;
  // What is left unread can never exceed what was sent behind the line and
  // the first byte of its terminator (the LF of a split CR LF may still be
  // on its way).
  const int sent = 31;
  int consumed = 0;
  const struct {
    const char* text;
    int terminator;
  } lines[] = {{"one", 2}, {"two", 1}, {"three", 1}, {"four", 2}, {"five", 2}};
  for (const auto& expected : lines) {
    ASSERT_TRUE(s.ReadLine(line)) << s.LastErrorText();
    EXPECT_EQ(line, expected.text);
    const int through = consumed + static_cast<int>(line.size()) + 1;
    EXPECT_GE(s.UnreadCount(), 0);
    EXPECT_LE(s.UnreadCount(), sent - through) << expected.text;
    consumed += static_cast<int>(line.size()) + expected.terminator;
  }
  const char* block = nullptr;
  EXPECT_EQ(s.RecvBuffer(4, &block), 4);
  EXPECT_EQ(std::string(block, 4), "rest");
}

// HTTP text: CR LF or a bare LF end a line; a CR that is not followed by LF
// ends none, wherever the pieces of the stream happen to be cut.
TEST(TBlockSocket, StrictLinesNeverEndAtALoneCr) {
  using TEnds = TBlockSocket::TLineEnds;
  const struct {
    const char* name;
    std::string raw;
    size_t piece;
    std::vector<std::string> lines;  // read before the failing one, if any
    bool endsInBadCr;
  } rows[] = {
      {"CR LF and bare LF", "one\r\ntwo\n\r\nrest", 0, {"one", "two", ""}, false},
      // The CR of "two" is the last byte of the first piece: the line waits
      // for the LF instead of ending there.
      {"CR LF split across sends", "one\r\ntwo\r\nrest", 9, {"one", "two"}, false},
      {"lone CR inside a line", "A: 1\rB: 2\r\n", 0, {}, true},
      {"CR CR", "HTTP/1.1 200 OK\r\rContent-Length: 4\r\n\r\nEvil", 0, {}, true},
      {"lone CR at a piece boundary", "one\rtwo\r\n", 4, {}, true},
  };
  for (const auto& r : rows) {
    TRawPeer peer(r.raw, r.piece, r.piece ? 150 : 0);
    TBlockSocket s;
    peer.Open(s);
    std::string line;
    for (const std::string& expected : r.lines) {
      ASSERT_TRUE(s.ReadLine(line, TEnds::Strict)) << r.name << ": " << s.LastErrorText();
      EXPECT_EQ(line, expected) << r.name;
    }
    if (r.endsInBadCr) {
      EXPECT_FALSE(s.ReadLine(line, TEnds::Strict)) << r.name << ": read \"" << line << "\"";
      EXPECT_EQ(s.LastError(), TBlockSocket::kBadLineEnd) << r.name;
    } else {
      const char* block = nullptr;
      EXPECT_EQ(s.RecvBuffer(4, &block), 4) << r.name;
      EXPECT_EQ(std::string(block, 4), "rest") << r.name;
    }
  }
  // A CR and then the end of the connection is no line end either.
  TRawPeer closing("line\r");
  TBlockSocket s;
  closing.Open(s);
  std::string line;
  EXPECT_FALSE(s.ReadLine(line, TEnds::Strict));
}

TEST(TBlockSocket, StatusLineLeavesTheFollowingBytesUnread) {
  TRawPeer peer("HTTP/1.1 200 OK\r\nbody");
  TBlockSocket s;
  peer.Open(s);
  std::string line;
  ASSERT_TRUE(s.ReadLine(line));
  EXPECT_EQ(line, "HTTP/1.1 200 OK");
  EXPECT_EQ(s.UnreadCount(), 4);
}

TEST(TBlockSocket, ReadLineFailsOnCloseAndOnAFullBuffer) {
  {
    TRawPeer peer("no terminator");  // the server closes after sending
    TBlockSocket s;
    peer.Open(s);
    std::string line;
    EXPECT_FALSE(s.ReadLine(line));
    EXPECT_GE(s.UnreadCount(), 0);
    EXPECT_LE(s.UnreadCount(), 13);  // never more than the peer sent
  }
  {
    TRawPeer peer(std::string(TBlockSocket::kBufferSize + 10, 'x') + "\r\n", 0, 0,
                  TBlockSocket::kBufferSize + 11);  // held open
    TBlockSocket s;
    peer.Open(s);
    std::string line;
    const uint32_t start = plat::TickCount();
    EXPECT_FALSE(s.ReadLine(line));
    EXPECT_LT(plat::TickCount() - start,
              static_cast<uint32_t>(test::ScaledMs(3000)));  // not a time-out: the buffer is full
  }
}

TEST(TBlockSocket, RecvBufferCounts) {
  {
    // 40 bytes buffered behind a line, 30 more arriving later: 70 handed out.
    TRawPeer peer("L\r\n" + std::string(40, 'a') + std::string(30, 'b'), 43, 200);
    TBlockSocket s;
    peer.Open(s);
    std::string line;
    ASSERT_TRUE(s.ReadLine(line));
    ASSERT_EQ(s.UnreadCount(), 40);
    const char* block = nullptr;
    EXPECT_EQ(s.RecvBuffer(100, &block), 70);
    EXPECT_EQ(std::string(block, 70), std::string(40, 'a') + std::string(30, 'b'));
    EXPECT_EQ(s.UnreadCount(), 0);
  }
  for (int wanted : {0, 20000}) {
    TRawPeer peer(std::string(30000, 'z'), 0, 0, 30000);
    TBlockSocket s;
    peer.Open(s);
    ASSERT_TRUE(s.CanRead(5000));
    plat::SleepMs(100);  // let everything arrive
    const char* block = nullptr;
    EXPECT_EQ(s.RecvBuffer(wanted, &block), TBlockSocket::kBufferSize) << wanted;
  }
}

TEST(TBlockSocket, RecvIntoHandsOutBufferedBytesFirstThenReceivesStraight) {
  {
    // 40 bytes behind a line in the buffer, 86 more arriving later.
    const std::string body = std::string(40, 'a') + std::string(86, 'b');
    TRawPeer peer("L\r\n" + body, 43, 200);
    TBlockSocket s;
    peer.Open(s);
    std::string line;
    ASSERT_TRUE(s.ReadLine(line));
    ASSERT_EQ(s.UnreadCount(), 40);
    std::string got(body.size(), '\0');
    // Only the buffered bytes: nothing is waited for while they are there.
    EXPECT_EQ(s.RecvInto(got.data(), 25), 25);
    EXPECT_EQ(s.RecvInto(got.data() + 25, 1000), 15);
    EXPECT_EQ(s.UnreadCount(), 0);
    size_t have = 40;
    for (int rounds = 0; have < body.size() && rounds < 10; ++rounds) {
      const int n = s.RecvInto(got.data() + have, static_cast<int>(body.size() - have));
      ASSERT_GT(n, 0) << s.LastErrorText();
      have += static_cast<size_t>(n);
    }
    EXPECT_TRUE(got == body);
    // The peer closed: no bytes and no error text.
    EXPECT_EQ(s.RecvInto(got.data(), 10), 0);
    EXPECT_EQ(s.RecvInto(got.data(), 0), 0);
  }
  // Nothing buffered: one receive takes more than the buffer could hold.
  TRawPeer peer(std::string(30000, 'z'), 0, 0, 30000);
  TBlockSocket s;
  peer.Open(s);
  ASSERT_TRUE(s.CanRead(5000));
  plat::SleepMs(100);  // let everything arrive
  std::string got(30000, '\0');
  EXPECT_GT(s.RecvInto(got.data(), 30000), TBlockSocket::kBufferSize);
  EXPECT_EQ(s.UnreadCount(), 0);
}

TEST(TBlockSocket, RecvIntoDropsTheLfOfALineEndedByALastCr) {
  // "L\r" ends a line as the last byte so far; its LF comes with the data.
  TRawPeer peer("L\r\nxyz", 2, 200);
  TBlockSocket s;
  peer.Open(s);
  std::string line;
  ASSERT_TRUE(s.ReadLine(line));
  EXPECT_EQ(line, "L");
  std::string got;
  char piece[16];
  for (int rounds = 0; got.size() < 3 && rounds < 10; ++rounds) {
    const int n = s.RecvInto(piece, sizeof piece);
    ASSERT_GT(n, 0) << s.LastErrorText();
    got.append(piece, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, "xyz");
}

TEST(TBlockSocket, ReceiveOfBytesAlreadyThereStillSeesAnInterrupt) {
  TRawPeer peer(std::string(3000, 'q'));
  TBlockSocket s;
  peer.Open(s);
  ASSERT_TRUE(s.CanRead(5000));
  plat::SleepMs(100);  // everything has arrived
  s.Interrupt();
  char piece[100];
  EXPECT_EQ(s.RecvInto(piece, sizeof piece), 0);
  EXPECT_EQ(s.LastError(), TBlockSocket::kInterruptedError);
}

TEST(TBlockSocket, InterruptFromAnotherThreadEndsABlockedReceive) {
  THttpTestServer server;
  THttpReply silent;
  silent.neverAnswer = true;
  server.Serve("/", silent);
  TBlockSocket s;
  ASSERT_TRUE(s.Connect("127.0.0.1", server.Port(), 10000));
  ASSERT_GT(s.SendString("GET / HTTP/1.1\r\n\r\n"), 0);
  std::thread closer([&] {
    plat::SleepMs(300);
    s.Interrupt();
  });
  const uint32_t start = plat::TickCount();
  std::string line;
  EXPECT_FALSE(s.ReadLine(line));
  EXPECT_LT(plat::TickCount() - start, static_cast<uint32_t>(test::ScaledMs(2000)));
  closer.join();
  EXPECT_EQ(s.LastError(), TBlockSocket::kInterruptedError);

  // Interrupt is not sticky: the next connect works. Abort is.
  EXPECT_TRUE(s.Connect("127.0.0.1", server.Port(), 10000)) << s.LastErrorText();
  s.Abort();
  EXPECT_FALSE(s.Connect("127.0.0.1", server.Port(), 10000));
}

TEST(SocketLibrary, StartsAndStops) {
  EXPECT_NO_THROW(SocketLibraryStartup());
  EXPECT_NO_THROW(SocketLibraryCleanup());
}

}  // namespace
}  // namespace lg
