#include "Library/hDownload/THttpDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>

#include "Library/hDownload/HttpParse.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/Library/hDownload/DownloadTestSupport.h"

namespace lg {
namespace {

using test::THttpReply;
using test::THttpTestServer;
using test::TRecordedRequest;
using namespace test::download;

TEST(FileNameOfUrl, NameRules) {
  const struct {
    const char* url;
    const char* name;
  } rows[] = {
      {"http://h/a/b/file.zip", "file.zip"},
      {"http://h/a\\b\\file.zip", "file.zip"},
      {"http://h/get.php?id=3", "get.php"},
      {"http://h/get?x=1&name=a.zip", "x=1&name=a.zip"},
      {"http://h/a&b", ""},
      {"http://h/", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(FileNameOfUrl(row.url), row.name) << row.url;
}

TEST(THttpDownload, TenMiBWithFiveWorkersSplitsTowardsTenRangesLowestFirst) {
  // Every range answer waits until five range requests have arrived, so no
  // connection can finish a range (and ask for a sixth) before all five
  // have asked for their first, however slowly the threads are scheduled:
  // the first five requests are then the first five handed out. (Declared
  // before the server, whose connection threads use them.)
  std::mutex gateLock;
  std::condition_variable gateOpen;
  int rangeRequests = 0;
  THttpTestServer server;
  const std::string body = Body(10 * MiB, 1);
  THttpReply reply = Ranged(body);
  reply.writeBytes = 64 * KiB;
  reply.writeDelayMs = 20;
  reply.beforeAnswer = [&](const TRecordedRequest& request) {
    if (request.Header("Range") == "Bytes=0-0") return;  // the probe
    std::unique_lock<std::mutex> guard(gateLock);
    ++rangeRequests;
    gateOpen.notify_all();
    // Bounded: a lost request shows as a wrong count below, not a hang.
    gateOpen.wait_for(guard, std::chrono::milliseconds(test::ScaledMs(5000)), [&] { return rangeRequests >= 5; });
  };
  server.Serve("/dir/big.bin", reply);
  test::TTempDir dir;
  TRecorder rec;
  {
    THttpDownload d(5);
    rec.Wire(d);
    d.Start(server.Url("/dir/big.bin"), dir.Path() + "out", 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(d.FileSize(), 10 * MiB);
    EXPECT_EQ(d.FileName(), "big.bin");
  }
  EXPECT_EQ(rec.received, 10 * MiB);
  EXPECT_EQ(rec.written, 10 * MiB);
  const std::string final = dir.Path() + "out\\big.bin";
  EXPECT_EQ(Md5OfFile(final), Md5OfText(body));
  EXPECT_FALSE(plat::FileExists(final + ".!tmp"));
  EXPECT_FALSE(plat::FileExists(final + ".!dl"));
  // Last-Modified became the file's time.
  EXPECT_EQ(plat::LastWriteTime(final), 784111777);

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 17u) << "the probe and sixteen ranges";
  EXPECT_EQ(requests[0].Header("Range"), "Bytes=0-0");
  std::vector<int64_t> starts;
  for (size_t i = 1; i < requests.size(); ++i) starts.push_back(RangeStartOf(requests[i]));
  std::vector<int64_t> sorted = starts;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted.front(), 0);
  // The five connections start on the five lowest ranges.
  std::set<int64_t> firstFive(starts.begin(), starts.begin() + 5);
  EXPECT_EQ(firstFive, std::set<int64_t>(sorted.begin(), sorted.begin() + 5));
}

TEST(THttpDownload, ProbeAnsweredWith200DownloadsWithOneWorkerAndNoStateFile) {
  THttpTestServer server;
  const std::string body = Body(3 * MiB, 2);
  THttpReply reply = THttpReply::Text(body);
  reply.writeBytes = 256 * KiB;
  reply.writeDelayMs = 5;
  server.Serve("/plain.bin", reply);
  test::TTempDir dir;
  TRecorder rec;
  std::atomic<bool> sawState{false};
  {
    THttpDownload d(5);
    rec.Wire(d);
    d.OnReceive = [&](THttpDownload&, uint32_t, int64_t done, int64_t) {
      StoreMax(rec.received, done);
      if (plat::FileExists(dir.File("plain.bin.!dl"))) sawState = true;
    };
    d.Start(server.Url("/plain.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(d.ThreadCount(), 1);
  }
  EXPECT_EQ(server.RequestCount(), 1u);
  EXPECT_FALSE(sawState);
  EXPECT_FALSE(plat::FileExists(dir.File("plain.bin.!dl")));
  EXPECT_EQ(Md5OfFile(dir.File("plain.bin")), Md5OfText(body));
}

TEST(THttpDownload, SizeUnknownUntilTheEndIsTakenFromTheByteCount) {
  const struct {
    const char* name;
    bool chunked;
  } rows[] = {{"chunked", true}, {"until-close", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    THttpTestServer server;
    const std::string body = Body(2 * MiB + 123, 3);
    THttpReply reply = THttpReply::Text(body);
    reply.chunked = row.chunked;
    reply.chunkSize = 70000;
    reply.sendLength = false;
    server.Serve("/c.bin", reply);
    test::TTempDir dir;
    TRecorder rec;
    THttpDownload d(5);
    rec.Wire(d);
    d.Start(server.Url("/c.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(d.FileSize(), static_cast<int64_t>(body.size()));
    EXPECT_EQ(Md5OfFile(dir.File("c.bin")), Md5OfText(body));
  }
}

// The fault, resume and stall tests run in both transfer modes.
class THttpDownloadModes : public ::testing::TestWithParam<TMode> {};
INSTANTIATE_TEST_SUITE_P(BothModes, THttpDownloadModes, ::testing::Values(TMode::Default, TMode::Pipelined),
                         [](const ::testing::TestParamInfo<TMode>& i) { return std::string(ModeName(i.param)); });

TEST_P(THttpDownloadModes, EmptyFileAfterA416Probe) {
  THttpTestServer server;
  server.Serve("/empty.txt", Ranged(""));
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(1);
  UseMode(GetParam(), d, server);
  rec.Wire(d);
  d.Start(server.Url("/empty.txt"), dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  EXPECT_EQ(plat::FileSize(dir.File("empty.txt")), 0);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("Range"), GetParam() == TMode::Default ? "Bytes=0-0" : "Bytes=0-1048575");
  EXPECT_EQ(requests[1].Header("Range"), "") << "asked again without a range";
}

TEST_P(THttpDownloadModes, StalledWorkerIsReplacedAndItsRangeFinishedByAnother) {
  THttpTestServer server;
  const std::string body = Body(4 * MiB, 4);
  // The first range that does not start at 0 stalls after 100 KiB.
  std::atomic<int64_t> stalledStart{-1};
  server.SetHandler([&](const TRecordedRequest& r) {
    THttpReply reply = Ranged(body);
    int64_t none = -1;
    const int64_t start = RangeStartOf(r);
    if (start > 0 && stalledStart.compare_exchange_strong(none, start)) reply.stallAfter = 100 * KiB;
    return reply;
  });
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(2);
  UseMode(GetParam(), d, server);
  d.SetWorkerTimeoutForTests(test::ScaledMs(1500));
  rec.Wire(d);
  const uint32_t start = plat::TickCount();
  d.Start(server.Url("/s.bin"), dir.Path(), static_cast<int64_t>(body.size()));
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  EXPECT_GE(plat::TickCount() - start, static_cast<uint32_t>(test::ScaledMs(1500)));
  EXPECT_EQ(Md5OfFile(dir.File("s.bin")), Md5OfText(body));
  // The 100 KiB that arrived before the stall were kept; the rest of the
  // range was asked for again.
  int asked = 0, rest = 0;
  for (const auto& r : server.Requests()) {
    asked += RangeStartOf(r) == stalledStart;
    rest += RangeStartOf(r) == stalledStart + 100 * KiB;
  }
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(rest, 1);
}

TEST(THttpDownload, DefaultWorkerTimeoutOutlastsAShortSilence) {
  // Without a test override the worker limit is the production one: a
  // server that answers after two seconds of silence is waited for, not
  // replaced (a limit below that would ask again).
  THttpTestServer server;
  const std::string body = Body(64 * KiB, 6);
  THttpReply reply = Ranged(body);
  reply.delayMs = 2000;
  server.Serve("/quiet.bin", reply);
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(1);
  rec.Wire(d);
  d.Start(server.Url("/quiet.bin"), dir.Path(), static_cast<int64_t>(body.size()));
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  // The one-byte probe and one request for the rest; a worker replaced for
  // its silence would have asked again.
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(Md5OfFile(dir.File("quiet.bin")), Md5OfText(body));
  static_assert(THttpDownload::kWorkerTimeoutMs > 2000);
}

TEST_P(THttpDownloadModes, WrongTotalInA206FailsWithLengthError) {
  THttpTestServer server;
  server.Serve("/f.bin", Ranged(Body(1000, 5)));
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(5);
  UseMode(GetParam(), d, server);
  rec.Wire(d);
  d.Start(server.Url("/f.bin"), dir.Path(), 999);
  ASSERT_TRUE(RunToEnd(d, rec, 20000));
  EXPECT_EQ(rec.fails, 1);
  EXPECT_EQ(rec.completes, 0);
  EXPECT_EQ(d.ErrorText(), "127.0.0.1:" + std::to_string(server.Port()) + " File (/f.bin) Length Error: 1000 <> 999");
  EXPECT_EQ(d.State(), THttpDownload::Failed);
}

TEST(THttpDownload, ErrorStatusFailsAtOnceWithItsText) {
  THttpTestServer server;
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(5);
  rec.Wire(d);
  const uint32_t start = plat::TickCount();
  d.Start(server.Url("/missing.bin"), dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec, 20000));
  EXPECT_EQ(rec.fails, 1);
  EXPECT_LT(plat::TickCount() - start, 5000u);
  EXPECT_EQ(d.ErrorText(), "127.0.0.1:" + std::to_string(server.Port()) + " 404 Not Found /missing.bin");
}

TEST(THttpDownload, RedirectsAreFollowedWithTheRangeAndTheFirstName) {
  THttpTestServer server;
  const std::string body = Body(1 * MiB, 11);
  server.Serve("/a/first.bin", THttpReply::Redirect(server.Url("/b/second.bin")));
  server.Serve("/b/second.bin", Ranged(body));
  server.Serve("/rel.bin", THttpReply::Redirect("/b/second.bin"));
  test::TTempDir dir;
  {
    TRecorder rec;
    THttpDownload d(2);
    rec.Wire(d);
    d.Start(server.Url("/a/first.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  }
  // The file keeps the name it was asked for; the probe's range survived.
  EXPECT_EQ(Md5OfFile(dir.File("first.bin")), Md5OfText(body));
  const auto requests = server.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/b/second.bin");
  EXPECT_EQ(requests[1].Header("Range"), "Bytes=0-0");

  TRecorder rec;
  THttpDownload d(2);
  rec.Wire(d);
  d.Start(server.Url("/rel.bin"), dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec, 5000)) << "a relative Location fails at once";
  EXPECT_EQ(rec.fails, 1);
}

TEST(THttpDownload, ProbeThatNeverConnectsTimesOut) {
  uint16_t port;
  {
    THttpTestServer gone;
    port = gone.Port();
  }
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(5);
  d.SetWorkerTimeoutForTests(300);
  rec.Wire(d);
  d.Start("http://127.0.0.1:" + std::to_string(port) + "/x.bin", dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec, 20000));
  EXPECT_EQ(rec.fails, 1);
  EXPECT_EQ(d.ErrorText(), Gbk("超时错误"));
}

TEST(THttpDownload, GzipDownloadIsInflatedAndItsDataFileRemoved) {
  std::string text;
  for (int i = 0; i < 60000; ++i) text += "line " + std::to_string(i) + " of a compressible file\n";
  for (const auto coding : {THttpReply::TCoding::Gzip, THttpReply::TCoding::Deflate}) {
    THttpTestServer server;
    THttpReply reply = Ranged(text);
    reply.coding = coding;
    server.Serve("/t.txt", reply);
    test::TTempDir dir;
    TRecorder rec;
    THttpDownload d(5);
    rec.Wire(d);
    d.Start(server.Url("/t.txt"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(test::ReadFileBytes(dir.File("t.txt")), text);
    EXPECT_FALSE(plat::FileExists(dir.File("t.txt.!tmp")));
    EXPECT_FALSE(plat::FileExists(dir.File("t.txt.!dl")));
    EXPECT_FALSE(plat::FileExists(dir.File("t.txt.!inf")));
  }
}

// A gzip body cut short (a server or proxy that closed early under a right
// length) and a stream that is no gzip at all: the download fails naming
// the inflation, and nothing is left under any name, the final one least.
TEST(THttpDownload, BodyThatCannotBeInflatedLeavesNoFileUnderAnyName) {
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "row " + std::to_string(i) + "\n";
  const std::string gzip = test::Compress(text, true);
  for (const std::string& body : {gzip.substr(0, gzip.size() / 2), std::string("no gzip stream, only text")}) {
    THttpTestServer server;
    THttpReply reply = Ranged(body);
    reply.headers.emplace_back("Content-Encoding", "gzip");
    server.Serve("/cut.txt", reply);
    test::TTempDir dir;
    // A previous run's final file is replaced only by a whole one.
    ASSERT_TRUE(test::WriteFileBytes(dir.File("cut.txt"), "older version"));
    TRecorder rec;
    {
      THttpDownload d(3);
      rec.Wire(d);
      d.Start(server.Url("/cut.txt"), dir.Path(), 0);
      ASSERT_TRUE(RunToEnd(d, rec));
      EXPECT_EQ(rec.completes, 0);
      EXPECT_NE(d.ErrorText().find("inflating"), std::string::npos) << d.ErrorText();
    }
    EXPECT_EQ(test::ReadFileBytes(dir.File("cut.txt")), "older version");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) entries += e.path().filename() != "cut.txt";
    EXPECT_EQ(entries, 0u) << "a helper file was left behind";
  }
}

// A state save cut short by a crash leaves its fresh copy: the finished
// download takes it away with the state file.
TEST(THttpDownload, FinishedDownloadRemovesAStateCopyLeftByACrash) {
  THttpTestServer server;
  const std::string body = Body(600 * KiB, 12);
  server.Serve("/s.bin", Ranged(body));
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("s.bin.!dl.!new"), "[Chunks]\r\nChunk000=0-9"));
  TRecorder rec;
  {
    THttpDownload d(3);
    rec.Wire(d);
    d.Start(server.Url("/s.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  }
  EXPECT_EQ(Md5OfFile(dir.File("s.bin")), Md5OfText(body));
  EXPECT_FALSE(plat::FileExists(dir.File("s.bin.!dl.!new")));
  EXPECT_FALSE(plat::FileExists(dir.File("s.bin.!dl")));
  EXPECT_FALSE(plat::FileExists(dir.File("s.bin.!tmp")));
}

// An earlier state that does not fit goes as soon as the answer is taken,
// and the new one is only written by a save: a download that ends before
// its first save never creates a state file.
TEST(THttpDownload, StateFileWaitsForTheFirstSave) {
  THttpTestServer server;
  const std::string body = Body(2 * MiB, 13);
  THttpReply reply = Ranged(body);
  reply.writeBytes = 64 * KiB;
  reply.writeDelayMs = 5;
  server.Serve("/w.bin", reply);
  test::TTempDir dir;
  const std::string state = dir.File("w.bin.!dl");
  ASSERT_TRUE(test::WriteFileBytes(state, "[Setup]\r\nFileSize=12\r\n[Chunks]\r\nChunk000=0-1\r\n"));
  std::atomic<int> sawState{0}, receives{0};
  TRecorder rec;
  {
    THttpDownload d(3);
    d.SetStateSaveInterval(3600 * 1000, 0);
    rec.Wire(d);
    d.OnReceive = [&](THttpDownload&, uint32_t, int64_t done, int64_t) {
      StoreMax(rec.received, done);
      ++receives;
      if (plat::FileExists(state)) ++sawState;
    };
    d.Start(server.Url("/w.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(d.StateSaves(), 0);
  }
  EXPECT_GT(receives.load(), 1);
  EXPECT_EQ(sawState.load(), 0);
  EXPECT_FALSE(plat::FileExists(state));
  EXPECT_EQ(test::ReadFileBytes(dir.File("w.bin")), body);
}

TEST(THttpDownload, DataThatCannotBeInflatedFails) {
  THttpTestServer server;
  THttpReply reply = Ranged("this is not a gzip stream at all, only text");
  reply.headers.emplace_back("Content-Encoding", "gzip");
  server.Serve("/bad.txt", reply);
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(1);
  rec.Wire(d);
  d.Start(server.Url("/bad.txt"), dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.fails, 1);
  EXPECT_EQ(rec.completes, 0);
  EXPECT_NE(d.ErrorText().find("inflating"), std::string::npos) << d.ErrorText();
  EXPECT_FALSE(plat::FileExists(dir.File("bad.txt")));
}

TEST(THttpDownload, WholeBodyAnswersToRangesAreNeverWrittenAtARangeOffset) {
  const std::string body = Body(3 * MiB, 6);
  // Row 1: one range is answered with the whole file, late, when the other
  // worker has finished its own range and found nothing left: it is woken
  // for the range given back and finishes it. Row 2: every range is: the
  // download fails, nothing written.
  for (const bool everyRange : {false, true}) {
    SCOPED_TRACE(everyRange ? "every range" : "one range");
    THttpTestServer server;
    std::atomic<int> wholeAnswers{0};
    server.SetHandler([&](const TRecordedRequest& r) {
      const int64_t start = RangeStartOf(r);
      const bool probe = r.Header("Range") == "Bytes=0-0";
      if (!probe && (everyRange || (start == 0 && wholeAnswers++ == 0))) {
        THttpReply whole = THttpReply::Text(body);
        if (!everyRange) whole.delayMs = 600;
        return whole;
      }
      return Ranged(body);
    });
    test::TTempDir dir;
    TRecorder rec;
    THttpDownload d(2);
    rec.Wire(d);
    d.Start(server.Url("/w.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    if (everyRange) {
      EXPECT_EQ(rec.fails, 1);
      EXPECT_EQ(rec.received, 0);
      EXPECT_NE(d.ErrorText().find("ignored the range"), std::string::npos) << d.ErrorText();
    } else {
      EXPECT_EQ(rec.completes, 1) << d.ErrorText();
      EXPECT_EQ(Md5OfFile(dir.File("w.bin")), Md5OfText(body));
    }
  }
}

// Destroys a download of `body` once `atLeast` bytes have been received.
void DownloadHalfWay(THttpTestServer& server, const std::string& url, const std::string& dir, int64_t atLeast,
                     TMode mode) {
  TRecorder rec;
  THttpDownload d(5);
  UseMode(mode, d, server);
  rec.Wire(d);
  d.Start(url, dir, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return rec.received >= atLeast; }, 30000));
}

TEST_P(THttpDownloadModes, DestroyedHalfWayLeavesExactMissingRangesAndResumes) {
  THttpTestServer server;
  const std::string body = Body(6 * MiB, 7);
  std::atomic<bool> slow{true};
  std::atomic<int> resumedDelay{0};
  server.SetHandler([&](const TRecordedRequest& r) {
    THttpReply reply = Ranged(body);
    const bool probe = r.Header("Range") == "Bytes=0-0";
    if (slow) {
      reply.writeBytes = 64 * KiB;
      reply.writeDelayMs = 15;
    } else if (!probe) {
      reply.delayMs = resumedDelay.load();
    }
    return reply;
  });
  test::TTempDir dir;
  const std::string url = server.Url("/r.bin");
  DownloadHalfWay(server, url, dir.Path(), 1 * MiB, GetParam());

  const std::string state = dir.File("r.bin.!dl");
  std::string text;
  ASSERT_TRUE(plat::ReadWholeFile(state, text));
  EXPECT_EQ(ProfileValue(text, "Setup", "FileSize"), std::to_string(body.size()));
  EXPECT_EQ(ProfileValue(text, "Setup", "URL"), url);
  // Every byte outside the listed ranges is in the data file.
  std::vector<bool> missing(body.size(), false);
  int64_t missingBytes = 0;
  for (int i = 0;; ++i) {
    auto value = ProfileValue(text, "Chunks", TDownLoadChunk::ChunkKey(i));
    if (!value) break;
    const size_t dash = value->find('-');
    const int64_t s = ParseInt64(value->substr(0, dash), -1), e = ParseInt64(value->substr(dash + 1), -1);
    ASSERT_TRUE(s >= 0 && e >= s && e < static_cast<int64_t>(body.size())) << *value;
    for (int64_t k = s; k <= e; ++k) {
      ASSERT_FALSE(missing[static_cast<size_t>(k)]) << "ranges overlap";
      missing[static_cast<size_t>(k)] = true;
    }
    missingBytes += e - s + 1;
  }
  ASSERT_GT(missingBytes, 0);
  ASSERT_LT(missingBytes, static_cast<int64_t>(body.size()));
  const std::string data = test::ReadFileBytes(dir.File("r.bin.!tmp"));
  for (size_t k = 0; k < body.size(); ++k)
    if (!missing[k]) {
      ASSERT_TRUE(k < data.size() && data[k] == body[k]) << "byte " << k;
    }

  // The next run reports the present bytes as soon as it knows the size,
  // before its first range answer arrives.
  slow = false;
  resumedDelay = test::ScaledMs(600);
  TRecorder rec;
  THttpDownload d(5);
  UseMode(GetParam(), d, server);
  rec.Wire(d);
  d.Start(url, dir.Path(), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return d.State() == THttpDownload::Downloading; }, 10000));
  EXPECT_EQ(d.ReceivedSize(), static_cast<int64_t>(body.size()) - missingBytes);
  EXPECT_EQ(d.WrittenSize(), static_cast<int64_t>(body.size()) - missingBytes);
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  EXPECT_EQ(Md5OfFile(dir.File("r.bin")), Md5OfText(body));
  EXPECT_FALSE(plat::FileExists(state));
}

// A state that cannot be trusted, or a data file longer than the file: the
// result is still exactly the server's file.
TEST(THttpDownload, UntrustedStateOrLongerDataFileStillGivesTheExactFile) {
  const std::string body = Body(1 * MiB + 7, 8);
  const std::string size = std::to_string(body.size());
  const std::string setup = "[Setup]\r\nURL=x\r\nFileSize=" + size + "\r\n";
  const struct {
    const char* name;
    std::string state;  // empty: none
    std::string data;
  } rows[] = {
      {"no state, long garbage data file", "", std::string(3 * MiB, 'g')},
      {"damaged range", setup + "[Chunks]\r\nChunk000=5-99999999\r\n", body.substr(0, 10)},
      {"claims bytes the data file lacks", setup + "[Chunks]\r\nChunk000=0-99\r\n", body.substr(0, 200)},
      {"Setup only (killed before any save)", setup, std::string(body.size(), 'g')},
      {"valid state, data file longer than the file", setup + "[Chunks]\r\nChunk000=0-4095\r\n",
       std::string(4096, 'g') + body.substr(4096) + std::string(MiB, 'x')},
      {"other size", "[Setup]\r\nFileSize=12\r\n[Chunks]\r\nChunk000=0-1\r\n", "garbage-garbage"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    THttpTestServer server;
    server.Serve("/u.bin", Ranged(body));
    test::TTempDir dir;
    if (!row.state.empty()) {
      ASSERT_TRUE(test::WriteFileBytes(dir.File("u.bin.!dl"), row.state));
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("u.bin.!tmp"), row.data));
    TRecorder rec;
    THttpDownload d(3);
    rec.Wire(d);
    d.Start(server.Url("/u.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(test::ReadFileBytes(dir.File("u.bin")), body);
  }
}

// An answer that cannot be read fails the download at once, with the reason
// (not the stall timer's "timeout" ten seconds later), and a body that only
// one connection carried leaves no data file that nothing could resume.
TEST(THttpDownload, UnreadableOrBrokenSingleAnswersFailAtOnceAndLeaveNoFile) {
  auto raw = [](const std::string& bytes) {
    THttpReply r;
    r.raw = bytes;
    return r;
  };
  std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 1000; ++i) manyHeaders += "X-" + std::to_string(i) + ": 1\r\n";
  THttpReply dropped = THttpReply::Text(Body(100000, 3));
  dropped.dropAfter = 5000;
  const struct {
    const char* name;
    THttpReply reply;
    const char* reason;
  } rows[] = {
      {"not HTTP", raw("HTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"), "status line"},
      {"lone CR", raw("HTTP/1.1 200 OK\r\nA: 1\rContent-Length: 3\r\n\r\nabc"), "CR without LF"},
      {"endless header block", raw(manyHeaders), "header lines"},
      {"two lengths", raw("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 2\r\n\r\nabc"), "Content-Length"},
      {"body broken off", dropped, "broke off"},
  };
  for (const auto& r : rows) {
    THttpTestServer server;
    server.Serve("/u.bin", r.reply);
    test::TTempDir dir;
    TRecorder rec;
    {
      THttpDownload d(5);
      rec.Wire(d);
      d.Start(server.Url("/u.bin"), dir.Path(), 0);
      ASSERT_TRUE(RunToEnd(d, rec, 2000)) << r.name;
      EXPECT_EQ(rec.fails, 1) << r.name;
      EXPECT_NE(d.ErrorText().find(r.reason), std::string::npos) << r.name << ": " << d.ErrorText();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << r.name;
  }
}

TEST(THttpDownload, BlockTheDiskRefusesEndsInFailureNotSuccess) {
  if (test::IsWindowsBuild()) GTEST_SKIP() << "needs /dev/full";
  if (!plat::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  THttpTestServer server;
  const std::string body = Body(2 * MiB, 9);
  server.Serve("/d.bin", Ranged(body));
  test::TTempDir dir;
  std::filesystem::create_symlink("/dev/full", dir.File("d.bin.!tmp"));
  TRecorder rec;
  {
    THttpDownload d(3);
    rec.Wire(d);
    d.Start(server.Url("/d.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.fails, 1);
    EXPECT_EQ(rec.completes, 0);
    EXPECT_NE(d.ErrorText().find("Write Error"), std::string::npos) << d.ErrorText();
  }
  EXPECT_FALSE(plat::FileExists(dir.File("d.bin")));
  EXPECT_FALSE(plat::FileExists(dir.File("d.bin.!dl"))) << "a state over lost blocks is not kept";
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("d.bin.!tmp"))) << "the data file that failed is deleted";
}

TEST(THttpDownload, FinalNameThatCannotBeReplacedFails) {
  THttpTestServer server;
  server.Serve("/busy.bin", Ranged(Body(5000, 10)));
  test::TTempDir dir;
  ASSERT_TRUE(plat::ForceDirectories(dir.File("busy.bin\\inside")));  // a folder in the way
  TRecorder rec;
  THttpDownload d(1);
  d.SetRenameAttemptsForTests(3);
  rec.Wire(d);
  d.Start(server.Url("/busy.bin"), dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.fails, 1);
  EXPECT_EQ(rec.completes, 0);
  EXPECT_NE(d.ErrorText().find("cannot rename"), std::string::npos) << d.ErrorText();
}

}  // namespace
}  // namespace lg

namespace lg {
namespace {

// Byte k of a file too large to hold in memory.
char LargeByte(int64_t k) {
  return static_cast<char>((static_cast<uint64_t>(k) * 2654435761u) >> 11);
}

std::string LargeSlice(int64_t start, int64_t end) {
  std::string s(static_cast<size_t>(end - start + 1), '\0');
  for (int64_t k = start; k <= end; ++k) s[static_cast<size_t>(k - start)] = LargeByte(k);
  return s;
}

// A 5 GiB file of which only ranges above 4 GiB are missing: the state,
// the requests, the offsets of the writes and the final file all work with
// 64-bit positions. The data file is sparse, so this stays cheap.
TEST(THttpDownload, ResumesRangesBeyondFourGiB) {
  constexpr int64_t kTotal = 5 * 1024 * MiB;
  const std::vector<TByteRange> missing = {{kTotal - MiB, kTotal - 1},
                                           {4 * 1024 * MiB + 12345, 4 * 1024 * MiB + 99999}};
  THttpTestServer server;
  server.SetHandler([&](const TRecordedRequest& r) {
    const std::string range = r.Header("Range");
    const size_t dash = range.find('-');
    const int64_t s = ParseInt64(range.substr(6, dash - 6), -1), e = ParseInt64(range.substr(dash + 1), -1);
    THttpReply reply = THttpReply::Text(LargeSlice(s, e));
    reply.contentRange = "bytes " + std::to_string(s) + "-" + std::to_string(e) + "/" + std::to_string(kTotal);
    return reply;
  });
  test::TTempDir dir;
  {
    plat::TFileStream data;
    ASSERT_TRUE(data.Open(dir.File("huge.bin.!tmp"), plat::TFileStream::Mode::Create));
    if (!data.Truncate(kTotal)) GTEST_SKIP() << "no room for a sparse 5 GiB file";
  }
  std::string state = "[Setup]\r\nURL=x\r\nFileSize=" + std::to_string(kTotal) + "\r\n[Chunks]\r\n";
  for (size_t i = 0; i < missing.size(); ++i)
    state += TDownLoadChunk::ChunkKey(static_cast<int>(i)) + "=" + std::to_string(missing[i].Start) + "-" +
             std::to_string(missing[i].End) + "\r\n";
  ASSERT_TRUE(test::WriteFileBytes(dir.File("huge.bin.!dl"), state));

  TRecorder rec;
  {
    THttpDownload d(2);
    rec.Wire(d);
    d.Start(server.Url("/huge.bin"), dir.Path(), kTotal);
    ASSERT_TRUE(RunToEnd(d, rec));
    EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  }
  EXPECT_EQ(rec.received, kTotal);
  EXPECT_EQ(rec.written, kTotal);
  EXPECT_EQ(plat::FileSize(dir.File("huge.bin")), kTotal);
  plat::TFileStream result;
  ASSERT_TRUE(result.Open(dir.File("huge.bin"), plat::TFileStream::Mode::Read));
  for (const TByteRange& r : missing) {
    std::string got(static_cast<size_t>(r.Length()), '\0');
    ASSERT_EQ(result.ReadAt(r.Start, got.data(), got.size()), r.Length());
    EXPECT_TRUE(got == LargeSlice(r.Start, r.End)) << "range at " << r.Start;
  }
  // Beyond the probe, only the missing ranges (split) were asked for.
  int64_t asked = 0;
  for (const auto& r : server.Requests()) {
    if (r.Header("Range") == "Bytes=0-0") continue;
    EXPECT_GT(RangeStartOf(r), 4 * 1024 * MiB) << r.Header("Range");
    const std::string v = r.Header("Range");
    asked += ParseInt64(v.substr(v.find('-') + 1), 0) - RangeStartOf(r) + 1;
  }
  EXPECT_EQ(asked, missing[0].Length() + missing[1].Length());
}

}  // namespace
}  // namespace lg

namespace lg {
namespace {

// Bytes listed as missing by a state file's "Chunks" section (size entries,
// true = missing); empty when a range is malformed or overlaps another.
std::vector<bool> MissingBytes(const std::string& stateText, size_t size) {
  std::vector<bool> missing(size, false);
  for (int i = 0;; ++i) {
    auto value = ProfileValue(stateText, "Chunks", TDownLoadChunk::ChunkKey(i));
    if (!value) break;
    const size_t dash = value->find('-');
    const int64_t s = ParseInt64(value->substr(0, dash), -1), e = ParseInt64(value->substr(dash + 1), -1);
    if (s < 0 || e < s || e >= static_cast<int64_t>(size)) return {};
    for (int64_t k = s; k <= e; ++k) {
      if (missing[static_cast<size_t>(k)]) return {};
      missing[static_cast<size_t>(k)] = true;
    }
  }
  return missing;
}

// A crash leaves whatever reached the disk: the state file as last saved
// and the data file at least as full. Copying the state first and the data
// after gives such a pair at any moment of the download.
TEST_P(THttpDownloadModes, CrashMidDownloadResumesWithOnlyTheMissingBytes) {
  THttpTestServer server;
  const std::string body = Body(8 * MiB, 11);
  std::atomic<bool> slow{true};
  server.SetHandler([&](const TRecordedRequest&) {
    THttpReply reply = Ranged(body);
    if (slow) {
      reply.writeBytes = 32 * KiB;
      reply.writeDelayMs = 25;
    }
    return reply;
  });
  test::TTempDir dir, crashed;
  const std::string url = server.Url("/c.bin");
  int64_t receivedAtCrash = 0;
  int savesBefore = 0;
  {
    TRecorder rec;
    THttpDownload d(5);
    UseMode(GetParam(), d, server);
    rec.Wire(d);
    d.SetStateSaveInterval(150, 256 * KiB);
    d.Start(url, dir.Path(), 0);
    // The crash comes right after a save (saves run inside CheckTimeout, on
    // this thread), so what is lost does not depend on how slow the host is
    // between a save and the copy.
    const uint32_t start = plat::TickCount();
    for (;;) {
      const int saves = d.StateSaves();
      d.CheckTimeout();
      const bool justSaved = d.StateSaves() > saves;
      if ((justSaved && d.StateSaves() >= 3 && d.ReceivedSize() >= 3 * MiB) || rec.Ended() ||
          plat::TickCount() - start >= static_cast<uint32_t>(test::ScaledMs(30000)))
        break;
      plat::SleepMs(10);
    }
    ASSERT_FALSE(rec.Ended()) << "the download ended before the crash point";
    ASSERT_GE(d.StateSaves(), 3);
    savesBefore = d.StateSaves();
    receivedAtCrash = d.ReceivedSize();
    ASSERT_TRUE(test::WriteFileBytes(crashed.File("c.bin.!dl"), test::ReadFileBytes(dir.File("c.bin.!dl"))));
    ASSERT_TRUE(test::WriteFileBytes(crashed.File("c.bin.!tmp"), test::ReadFileBytes(dir.File("c.bin.!tmp"))));
  }
  ASSERT_GT(savesBefore, 0);

  // The state never counts a byte the data file does not hold.
  const std::vector<bool> missing = MissingBytes(test::ReadFileBytes(crashed.File("c.bin.!dl")), body.size());
  ASSERT_EQ(missing.size(), body.size()) << "malformed ranges";
  const std::string data = test::ReadFileBytes(crashed.File("c.bin.!tmp"));
  int64_t missingCount = 0;
  for (size_t k = 0; k < body.size(); ++k) {
    if (missing[k]) {
      ++missingCount;
    } else {
      ASSERT_TRUE(k < data.size() && data[k] == body[k]) << "byte " << k << " counted but not on disk";
    }
  }
  // What was lost is what arrived while the save put the data on disk,
  // plus the blocks in flight: far less than one saving interval.
  const int64_t lost = missingCount - (static_cast<int64_t>(body.size()) - receivedAtCrash);
  EXPECT_GE(lost, 0);
  EXPECT_LT(lost, 2 * MiB);

  slow = false;
  // The crashed download's last requests may still be on their way in.
  ASSERT_TRUE(server.WaitIdle(static_cast<uint32_t>(test::ScaledMs(5000))));
  const size_t before = server.RequestCount();
  TRecorder rec;
  THttpDownload d(5);
  UseMode(GetParam(), d, server);
  rec.Wire(d);
  d.Start(url, crashed.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec));
  EXPECT_EQ(rec.completes, 1) << d.ErrorText();
  EXPECT_EQ(Md5OfFile(crashed.File("c.bin")), Md5OfText(body));
  // Only the missing bytes were asked for again (the first request aside:
  // the probe, or the first range, whose answer a resumed state ignores).
  int64_t asked = 0;
  const auto requests = server.Requests();
  ASSERT_GT(requests.size(), before);
  EXPECT_EQ(requests[before].Header("Range"), GetParam() == TMode::Default ? "Bytes=0-0" : "Bytes=0-1048575");
  for (size_t i = before + 1; i < requests.size(); ++i) {
    const std::string v = requests[i].Header("Range");
    if (v == "Bytes=0-0" || v.size() < 7) continue;
    const size_t dash = v.find('-');
    asked += ParseInt64(v.substr(dash + 1), -1) - ParseInt64(v.substr(6, dash - 6), -1) + 1;
  }
  EXPECT_EQ(asked, missingCount);
}

}  // namespace
}  // namespace lg
