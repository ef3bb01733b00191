// The pipelined transfer mode of THttpDownload: kept-alive connections
// shared through a TConnectionPool, and the first range instead of the
// probe. The fault and resume tests of both modes are in THttpDownloadTest.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/THttpDownload.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/Library/hDownload/DownloadTestSupport.h"

namespace lg {
namespace {

using test::THttpReply;
using test::THttpTestServer;
using test::TRecordedRequest;
using namespace test::download;

const std::string kFirstRange = "Bytes=0-" + std::to_string(THttpDownload::kFirstRangeBytes - 1);

// One pipelined download of `path` into `dir` with `workers`, through
// `pool`; true when it completed.
bool Fetch(THttpTestServer& server, const std::shared_ptr<TConnectionPool>& pool, const std::string& path,
           const std::string& dir, int workers, int64_t expected = 0, std::string* error = nullptr) {
  TRecorder rec;
  THttpDownload d(static_cast<uint8_t>(workers));
  d.SetPipelined(pool);
  rec.Wire(d);
  d.Start(server.Url(path), dir, expected);
  const bool ended = RunToEnd(d, rec, 30000);
  if (error) *error = d.ErrorText();
  return ended && rec.completes == 1 && rec.fails == 0;
}

std::string Name(int i) {
  return "/f" + std::to_string(i) + ".bin";
}

// Serves `count` files of `size` bytes each ("/f0.bin", ...) with ranges.
std::vector<std::string> ServeFiles(THttpTestServer& server, int count, size_t size) {
  std::vector<std::string> bodies;
  for (int i = 0; i < count; ++i) {
    bodies.push_back(Body(size, static_cast<uint32_t>(100 + i)));
    server.Serve(Name(i), Ranged(bodies.back()));
  }
  return bodies;
}

TEST(PipelinedDownload, OneConnectionCarriesTheRangesAndFilesOfAHost) {
  THttpTestServer server;
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  const auto bodies = ServeFiles(server, 4, 300 * KiB);
  const std::string big = Body(3 * MiB + 5, 9);
  server.Serve("/big.bin", Ranged(big));
  auto pool = std::make_shared<TConnectionPool>();
  test::TTempDir dir;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Fetch(server, pool, Name(i), dir.Path(), 1)) << i;
  EXPECT_EQ(server.Connections(), 1) << "every file after the first on the kept connection";
  EXPECT_EQ(server.RequestCount(), 4u) << "no probe: one request a small file";
  EXPECT_EQ(pool->IdleCount(), 1u);

  // One worker, several ranges: the first, then the pool's, all on it.
  ASSERT_TRUE(Fetch(server, pool, "/big.bin", dir.Path(), 1));
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_GT(server.RequestCount(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(test::ReadFileBytes(dir.File(Name(i).substr(1))), bodies[i]) << i;
  EXPECT_EQ(Md5OfFile(dir.File("big.bin")), Md5OfText(big));
  for (const TRecordedRequest& r : server.Requests()) {
    EXPECT_EQ(r.Header("Connection"), "keep-alive");
    EXPECT_NE(r.Header("Range"), "Bytes=0-0") << "no probe";
  }
  EXPECT_FALSE(plat::FileExists(dir.File("big.bin.!dl")));
}

TEST(PipelinedDownload, SeveralWorkersNeverOpenMoreConnectionsThanWorkers) {
  THttpTestServer server;
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  const std::string big = Body(6 * MiB, 21);
  server.Serve("/big.bin", Ranged(big));
  auto pool = std::make_shared<TConnectionPool>();
  test::TTempDir dir;
  ASSERT_TRUE(Fetch(server, pool, "/big.bin", dir.Path(), 3));
  EXPECT_EQ(Md5OfFile(dir.File("big.bin")), Md5OfText(big));
  EXPECT_LE(server.Connections(), 3);
  // The first request asked for the first range and learned the size from
  // its answer; every later range starts after it, each byte asked once.
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].Header("Range"), kFirstRange);
  int64_t asked = 0;
  for (size_t i = 1; i < requests.size(); ++i) {
    const std::string v = requests[i].Header("Range");
    const size_t dash = v.find('-');
    const int64_t s = ParseInt64(v.substr(6, dash - 6), -1), e = ParseInt64(v.substr(dash + 1), -1);
    EXPECT_GE(s, THttpDownload::kFirstRangeBytes) << v;
    asked += e - s + 1;
  }
  EXPECT_EQ(asked, static_cast<int64_t>(big.size()) - THttpDownload::kFirstRangeBytes);
  EXPECT_GE(pool->IdleCount(), 1u);
}

TEST(PipelinedDownload, ServerThatClosesAfterNRequestsOrWhenIdleCostsARetryNotAFailure) {
  // Closing silently after two requests: the third request meets a closed
  // kept connection and goes again on a fresh one.
  {
    THttpTestServer server;
    server.SetKeepAlive(2);
    const auto bodies = ServeFiles(server, 5, 50 * KiB);
    auto pool = std::make_shared<TConnectionPool>();
    test::TTempDir dir;
    for (int i = 0; i < 5; ++i) {
      std::string error;
      ASSERT_TRUE(Fetch(server, pool, Name(i), dir.Path(), 1, 0, &error)) << i << ": " << error;
      EXPECT_EQ(test::ReadFileBytes(dir.File(Name(i).substr(1))), bodies[i]);
    }
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(server.RequestCount(), 5u) << "each file asked for once by the server's count";
  }
  // A stale pooled connection: the server dropped it while it waited.
  {
    THttpTestServer server;
    server.SetKeepAlive(TConnectionPool::kMaxRequests, 100);
    const auto bodies = ServeFiles(server, 2, 20 * KiB);
    auto pool = std::make_shared<TConnectionPool>();
    test::TTempDir dir;
    ASSERT_TRUE(Fetch(server, pool, Name(0), dir.Path(), 1));
    ASSERT_EQ(pool->IdleCount(), 1u);
    plat::SleepMs(400);
    std::string error;
    ASSERT_TRUE(Fetch(server, pool, Name(1), dir.Path(), 1, 0, &error)) << error;
    EXPECT_EQ(test::ReadFileBytes(dir.File("f1.bin")), bodies[1]);
    EXPECT_EQ(server.Connections(), 2);
  }
}

TEST(PipelinedDownload, AnswersThatEndTheConnectionAreNotReused) {
  const struct {
    const char* what;
    bool closeConnection;
    const char* protocol;
    const char* connectionHeader;
    bool reused;
  } rows[] = {
      {"HTTP/1.1 keep-alive", false, "HTTP/1.1", "", true},
      {"Connection: close", true, "HTTP/1.1", "", false},
      {"HTTP/1.0 without keep-alive", false, "HTTP/1.0", "", false},
      {"HTTP/1.0 with keep-alive", false, "HTTP/1.0", "keep-alive", true},
  };
  for (const auto& row : rows) {
    THttpTestServer server;
    server.SetKeepAlive(TConnectionPool::kMaxRequests);
    for (int i = 0; i < 3; ++i) {
      THttpReply reply = Ranged(Body(10 * KiB, static_cast<uint32_t>(i)));
      reply.closeConnection = row.closeConnection;
      reply.protocol = row.protocol;
      if (*row.connectionHeader) reply.headers.emplace_back("Connection", row.connectionHeader);
      server.Serve(Name(i), reply);
    }
    auto pool = std::make_shared<TConnectionPool>();
    test::TTempDir dir;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Fetch(server, pool, Name(i), dir.Path(), 1)) << row.what;
    EXPECT_EQ(server.Connections(), row.reused ? 1 : 3) << row.what;
    EXPECT_EQ(server.RequestCount(), 3u) << row.what;
  }
}

TEST(PipelinedDownload, ConnectionWithAnUnreadRestOfTheAnswerIsNotReused) {
  // The server answers the first range with the whole file: the worker
  // stops at the range's end, and the rest must never be read as the next
  // answer. An honest server's connection carries both requests.
  for (const bool overLong : {false, true}) {
    THttpTestServer server;
    server.SetKeepAlive(TConnectionPool::kMaxRequests);
    const std::string body = Body(2 * MiB, 31);
    server.SetHandler([&](const TRecordedRequest& r) {
      THttpReply reply = Ranged(body);
      if (overLong && RangeStartOf(r) == 0) {
        reply.honourRanges = false;
        reply.contentRange = "bytes 0-" + std::to_string(body.size() - 1) + "/" + std::to_string(body.size());
      }
      return reply;
    });
    auto pool = std::make_shared<TConnectionPool>();
    test::TTempDir dir;
    ASSERT_TRUE(Fetch(server, pool, "/over.bin", dir.Path(), 1)) << overLong;
    EXPECT_EQ(Md5OfFile(dir.File("over.bin")), Md5OfText(body)) << overLong;
    EXPECT_EQ(server.RequestCount(), 2u) << overLong;
    EXPECT_EQ(server.Connections(), overLong ? 2 : 1);
  }
}

TEST(PipelinedDownload, WholeBodyAnswerBecomesTheSingleConnectionDownload) {
  THttpTestServer server;
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  const std::string body = Body(3 * MiB, 41);  // longer than the first range
  server.Serve("/whole.bin", THttpReply::Text(body));
  auto pool = std::make_shared<TConnectionPool>();
  test::TTempDir dir;
  ASSERT_TRUE(Fetch(server, pool, "/whole.bin", dir.Path(), 5));
  EXPECT_EQ(Md5OfFile(dir.File("whole.bin")), Md5OfText(body)) << "the whole body, not the first range of it";
  EXPECT_EQ(server.RequestCount(), 1u);
  EXPECT_FALSE(plat::FileExists(dir.File("whole.bin.!dl")));
  EXPECT_EQ(pool->IdleCount(), 1u) << "a 200 read to its length keeps its connection";
}

TEST(PipelinedDownload, FileShorterThanTheFirstRangeComesInOneAnswer) {
  THttpTestServer server;
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  const std::string body = Body(1000, 51);
  server.Serve("/small.bin", Ranged(body));
  auto pool = std::make_shared<TConnectionPool>();
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(5);
  d.SetPipelined(pool);
  rec.Wire(d);
  d.Start(server.Url("/small.bin"), dir.Path(), 1000);
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  EXPECT_EQ(d.FileSize(), 1000);
  EXPECT_EQ(rec.written, 1000);
  EXPECT_EQ(test::ReadFileBytes(dir.File("small.bin")), body);
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].Header("Range"), kFirstRange);
  for (const char* helper : {"small.bin.!dl", "small.bin.!tmp"}) EXPECT_FALSE(plat::FileExists(dir.File(helper)));
}

TEST(PipelinedDownload, WrongContentRangeOrTotalIsStillRefused) {
  THttpTestServer server;
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  const std::string body = Body(2 * MiB, 61);
  THttpReply shifted = Ranged(body);
  shifted.honourRanges = false;
  shifted.contentRange = "bytes 5-1048580/" + std::to_string(body.size());  // not the start asked for
  shifted.body = body.substr(5, THttpDownload::kFirstRangeBytes);
  server.Serve("/shifted.bin", shifted);
  server.Serve("/sized.bin", Ranged(body));
  auto pool = std::make_shared<TConnectionPool>();
  test::TTempDir dir;
  std::string error;
  EXPECT_FALSE(Fetch(server, pool, "/shifted.bin", dir.Path(), 2, 0, &error));
  EXPECT_NE(error.find("Content-Range"), std::string::npos) << error;
  EXPECT_FALSE(plat::FileExists(dir.File("shifted.bin")));
  EXPECT_FALSE(Fetch(server, pool, "/sized.bin", dir.Path(), 2, 12345, &error));
  EXPECT_NE(error.find("Length Error: " + std::to_string(body.size()) + " <> 12345"), std::string::npos) << error;
  EXPECT_FALSE(plat::FileExists(dir.File("sized.bin")));
}

TEST(ConnectionPool, KeepsAConnectionPerHostUntilItsShareOfRequests) {
  THttpTestServer server;
  server.SetKeepAlive(TConnectionPool::kMaxRequests);
  TConnectionPool pool;
  auto Open = [&] {
    auto s = std::make_unique<TBlockSocket>();
    EXPECT_TRUE(s->Connect("127.0.0.1", server.Port(), 5000));
    return s;
  };
  pool.Give("127.0.0.1", server.Port(), Open(), 3);
  EXPECT_EQ(pool.IdleCount(), 1u);
  EXPECT_EQ(pool.Take("127.0.0.1", server.Port() + 1).socket, nullptr) << "another port is another host";
  TConnectionPool::TLease lease = pool.Take("127.0.0.1", server.Port());
  ASSERT_NE(lease.socket, nullptr);
  EXPECT_EQ(lease.requests, 3);
  EXPECT_TRUE(lease.socket->Connected());
  EXPECT_EQ(pool.IdleCount(), 0u);

  pool.Give("127.0.0.1", server.Port(), Open(), TConnectionPool::kMaxRequests);
  EXPECT_EQ(pool.IdleCount(), 0u) << "a connection that has served its share is closed";
  for (size_t i = 0; i < TConnectionPool::kMaxIdlePerHost + 2; ++i) pool.Give("127.0.0.1", server.Port(), Open(), 1);
  EXPECT_EQ(pool.IdleCount(), TConnectionPool::kMaxIdlePerHost);
}

}  // namespace
}  // namespace lg
