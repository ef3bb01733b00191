#include "Library/hDownload/TBGFileStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/Platform.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

TEST(TBGFileStream, BlocksAreWrittenInOffsetOrderAndDrainedOnDestroy) {
  test::TTempDir dir;
  std::vector<int32_t> written;
  {
    TBGFileStream writer(dir.File("data.!tmp"));
    ASSERT_TRUE(writer.IsOpen());
    std::mutex m;
    writer.OnWritten = [&](int32_t n) {
      std::lock_guard<std::mutex> g(m);
      written.push_back(n);
    };
    EXPECT_TRUE(writer.Write("CCC", 3, 200));
    EXPECT_TRUE(writer.Write("AAAA", 4, 0));
    EXPECT_TRUE(writer.Write("BB", 2, 100));
    EXPECT_FALSE(writer.Write("x", 0, 5));
    EXPECT_FALSE(writer.Write(nullptr, 3, 5));
  }  // destroyed at once: everything queued is written first
  const std::string data = test::ReadFileBytes(dir.File("data.!tmp"));
  ASSERT_EQ(data.size(), 203u);
  EXPECT_EQ(data.substr(0, 4), "AAAA");
  EXPECT_EQ(data.substr(100, 2), "BB");
  EXPECT_EQ(data.substr(200, 3), "CCC");
  int32_t total = 0;
  for (int32_t n : written) total += n;
  EXPECT_EQ(total, 9);
}

TEST(TBGFileStream, ExistingContentIsKept) {
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("keep"), "0123456789"));
  {
    TBGFileStream writer(dir.File("keep"));
    ASSERT_TRUE(writer.Write("xy", 2, 4));
  }
  EXPECT_EQ(test::ReadFileBytes(dir.File("keep")), "0123xy6789");
}

TEST(TBGFileStream, UnopenableFileRefusesEveryWrite) {
  test::TTempDir dir;
  TBGFileStream writer(dir.Path() + "no\\such\\folder\\f");
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_FALSE(writer.Write("abc", 3, 0));
}

TEST(TBGFileStream, ManyWritersWithBackPressureKeepMemoryBounded) {
  test::TTempDir dir;
  constexpr int kWorkers = 5, kBlocks = 8, kBlock = 1 << 20;
  std::atomic<int64_t> peakQueued{0}, writtenBytes{0};
  {
    TBGFileStream writer(dir.File("big"));
    writer.OnWritten = [&](int32_t n) { writtenBytes += n; };
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
      workers.emplace_back([&, w] {
        std::string block(kBlock, static_cast<char>('a' + w));
        for (int b = 0; b < kBlocks; ++b) {
          int64_t offset = (static_cast<int64_t>(w) * kBlocks + b) * kBlock;
          EXPECT_TRUE(writer.Write(block.data(), kBlock, offset));
          int64_t q = writer.QueuedBytes();
          int64_t prev = peakQueued.load();
          while (q > prev && !peakQueued.compare_exchange_weak(prev, q)) {
          }
        }
      });
    for (auto& t : workers) t.join();
  }
  EXPECT_EQ(writtenBytes.load(), int64_t{kWorkers} * kBlocks * kBlock);
  EXPECT_LE(peakQueued.load(), TBGFileStream::kMaxQueuedBytes + kBlock);
  EXPECT_EQ(plat::FileSize(dir.File("big")), int64_t{kWorkers} * kBlocks * kBlock);
}

TEST(TBGFileStream, AbortReleasesBlockedWritersAndRefusesMore) {
  test::TTempDir dir;
  TBGFileStream writer(dir.File("a"));
  writer.Abort();
  EXPECT_FALSE(writer.Write("abc", 3, 0));
  EXPECT_FALSE(writer.Failed()) << "an abort is not a disk failure";
}

}  // namespace
}  // namespace lg

namespace lg {
namespace {

TEST(TBGFileStream, WritesAtOffsetsBeyondFourGiB) {
  test::TTempDir dir;
  const int64_t far = (int64_t{5} << 30) + 7;
  int64_t reported = 0;
  {
    TBGFileStream writer(dir.File("sparse"));
    writer.OnWritten = [&](int32_t n) { reported += n; };
    ASSERT_TRUE(writer.Write("tail", 4, far));
    ASSERT_TRUE(writer.Write("head", 4, 0));
    writer.Close();
    EXPECT_FALSE(writer.Failed()) << writer.ErrorText();
    EXPECT_FALSE(writer.Write("late", 4, 8)) << "closed writers refuse blocks";
  }
  EXPECT_EQ(reported, 8);
  EXPECT_EQ(plat::FileSize(dir.File("sparse")), far + 4);
  plat::TFileStream file;
  ASSERT_TRUE(file.Open(dir.File("sparse"), plat::TFileStream::Mode::Read));
  char buf[4];
  ASSERT_EQ(file.ReadAt(far, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "tail");
}

}  // namespace
}  // namespace lg

namespace lg {
namespace {

TEST(TBGFileStream, SyncReturnsOnceEveryEarlierBlockIsWritten) {
  test::TTempDir dir;
  const std::string path = dir.File("s.bin");
  TBGFileStream s(path);
  ASSERT_TRUE(s.IsOpen());
  std::string expected;
  for (int round = 0; round < 20; ++round) {
    const std::string block(4096, static_cast<char>('a' + round));
    // Later offsets first: the queue writes by offset, Sync must still wait
    // for the block with the lowest offset.
    ASSERT_TRUE(s.Write(block.data(), 4096, (19 - round) * 4096));
  }
  ASSERT_TRUE(s.Sync(test::ScaledMs(5000)));
  EXPECT_EQ(s.QueuedBytes(), 0);
  const std::string data = test::ReadFileBytes(path);
  ASSERT_EQ(data.size(), 20u * 4096);
  for (int round = 0; round < 20; ++round) EXPECT_EQ(data[(19 - round) * 4096], 'a' + round) << round;
  s.Close();
  EXPECT_FALSE(s.Sync(100));  // closed: nothing can be put on disk
}

}  // namespace
}  // namespace lg
