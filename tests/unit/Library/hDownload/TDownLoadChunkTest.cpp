#include "Library/hDownload/TDownLoadChunk.h"

#include <gtest/gtest.h>

#include "common/Platform.h"
#include "common/ProfileFile.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1024 * KiB;

// Checks that the ranges cover [0, size) exactly once.
void ExpectCovers(std::vector<TByteRange> ranges, int64_t size) {
  std::sort(ranges.begin(), ranges.end(), [](auto& a, auto& b) { return a.Start < b.Start; });
  int64_t next = 0;
  for (const auto& r : ranges) {
    EXPECT_EQ(r.Start, next);
    next = r.End + 1;
  }
  EXPECT_EQ(next, size);
}

TEST(TDownLoadChunk, TenMiBSplitsToSixteenRangesLowestHandedOutFirst) {
  TDownLoadChunk pool;
  pool.InitRange("", 10, 0, 10 * MiB - 1);
  auto ranges = pool.Ranges();
  ASSERT_EQ(ranges.size(), 16u) << "passes give 2, 4, 8, 16";
  ExpectCovers(ranges, 10 * MiB);
  for (const auto& r : ranges) EXPECT_NEAR(static_cast<double>(r.Length()), 640.0 * KiB, 2.0);
  int64_t last = -1;
  while (auto r = pool.PopRange()) {
    EXPECT_GT(r->Start, last) << "ascending offsets come out of the pool";
    last = r->Start;
  }
}

TEST(TDownLoadChunk, SmallFilesSplitOnceOrNotAtAll) {
  TDownLoadChunk six;
  six.InitRange("", 10, 0, 600 * KiB - 1);
  auto ranges = six.Ranges();
  ASSERT_EQ(ranges.size(), 2u);
  // The second pass stopped at once, before sorting: the original (upper)
  // piece stays first, so the last entry (handed out first) is the low one.
  EXPECT_GT(ranges[0].Start, ranges[1].Start);
  EXPECT_EQ(ranges[1].Start, 0);
  ExpectCovers(ranges, 600 * KiB);

  TDownLoadChunk four;
  four.InitRange("", 10, 0, 400 * KiB - 1);
  EXPECT_EQ(four.Ranges(), (std::vector<TByteRange>{{0, 400 * KiB - 1}}));
}

TEST(TDownLoadChunk, ReturnedRangeIsTheNextHandedOut) {
  TDownLoadChunk pool;
  pool.InitRange("", 2, 0, 4 * MiB - 1);
  auto first = pool.PopRange();
  ASSERT_TRUE(first);
  pool.AddRange(first->Start + 100, first->End);
  auto again = pool.PopRange();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Start, first->Start + 100);
}

// A download saves its state several times a second: the file must not
// grow with every save (the ranges section is replaced, not appended to).
TEST(TDownLoadChunk, RepeatedSnapshotsLeaveOneFileOfTheSameSize) {
  test::TTempDir dir;
  const std::string state = dir.File("s.bin.!dl");
  TDownLoadChunk pool;
  ASSERT_TRUE(pool.InitRange(state, 4, 0, 4 * MiB - 1, "[Setup]\r\nFileSize=4194304\r\n"));
  const std::vector<TByteRange> ranges = pool.Ranges();
  ASSERT_TRUE(pool.SaveSnapshot(ranges));
  const std::string first = test::ReadFileBytes(state);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(pool.SaveSnapshot(ranges));
  EXPECT_EQ(test::ReadFileBytes(state), first);
  EXPECT_EQ(ProfileValue(first, "Setup", "FileSize"), std::optional<std::string>("4194304"));
}

TEST(TDownLoadChunk, StateFileRoundTripAndDeletionWhenDone) {
  test::TTempDir dir;
  const std::string state = dir.File("a.bin.!dl");
  std::vector<TByteRange> left;
  {
    TDownLoadChunk pool;
    ASSERT_TRUE(pool.InitRange(state, 4, 0, 4 * MiB - 1, "[Setup]\r\nFileSize=4194304\r\n"));
    EXPECT_FALSE(plat::FileExists(state)) << "nothing to resume yet: written by the first save";
    auto fetched = pool.PopRange();  // taken by a worker
    ASSERT_TRUE(fetched);
    EXPECT_EQ(fetched->Start, 0);
    left = pool.Ranges();
  }
  ASSERT_EQ(left.size(), 3u);
  std::string text = test::ReadFileBytes(state);
  EXPECT_EQ(ProfileValue(text, "Setup", "FileSize"), std::optional<std::string>("4194304"));
  int64_t missing = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    EXPECT_EQ(ProfileValue(text, "Chunks", TDownLoadChunk::ChunkKey(static_cast<int>(i))),
              std::to_string(left[i].Start) + "-" + std::to_string(left[i].End));
    missing += left[i].Length();
  }
  EXPECT_FALSE(ProfileValue(text, "Chunks", "Chunk003"));

  TDownLoadChunk resumed;
  ASSERT_TRUE(resumed.LoadAndSplit(state, 1, 4 * MiB));
  EXPECT_EQ(resumed.RemainingBytes(), missing);
  EXPECT_EQ(resumed.Ranges().size(), 3u);
  while (resumed.PopRange()) {
  }
  resumed.SaveToState();
  EXPECT_FALSE(plat::FileExists(state)) << "nothing left: the state file goes";
}

// A fresh pool never leaves an older state (or a save of it cut short by a
// crash) beside the new data, and a pool that never saved finishes without
// touching the disk.
TEST(TDownLoadChunk, FreshPoolRemovesAnEarlierStateAtOnce) {
  test::TTempDir dir;
  const std::string state = dir.File("b.bin.!dl");
  ASSERT_TRUE(test::WriteFileBytes(state, "[Setup]\r\nFileSize=1000\r\n[Chunks]\r\nChunk000=0-99\r\n"));
  ASSERT_TRUE(test::WriteFileBytes(state + ".!new", "[Chunks]\r\nChunk000=0-9"));
  {
    TDownLoadChunk pool;
    ASSERT_TRUE(pool.InitRange(state, 1, 0, 999, "[Setup]\r\nFileSize=1000\r\n"));
    EXPECT_FALSE(plat::FileExists(state));
    EXPECT_FALSE(plat::FileExists(state + ".!new"));
    while (pool.PopRange()) {
    }
    ASSERT_TRUE(test::WriteFileBytes(state, "written by someone else"));
  }
  EXPECT_EQ(test::ReadFileBytes(state), "written by someone else");
}

TEST(TDownLoadChunk, ReadingStopsAtTheFirstMissingKey) {
  test::TTempDir dir;
  const std::string state = dir.File("x.!dl");
  ASSERT_TRUE(test::WriteFileBytes(state, "[Chunks]\r\nChunk000=0-99\r\nChunk001=200-299\r\nChunk003=400-499\r\n"));
  TDownLoadChunk pool;
  ASSERT_TRUE(pool.LoadAndSplit(state, 1, 1000));
  EXPECT_EQ(pool.Ranges().size(), 2u);
  EXPECT_EQ(pool.RemainingBytes(), 200);
}

TEST(TDownLoadChunk, KeysPastNineAreUpperCaseHex) {
  EXPECT_EQ(TDownLoadChunk::ChunkKey(9), "Chunk009");
  EXPECT_EQ(TDownLoadChunk::ChunkKey(10), "Chunk00A");
  EXPECT_EQ(TDownLoadChunk::ChunkKey(31), "Chunk01F");
}

TEST(TDownLoadChunk, DamagedStateFilesAreRefused) {
  const char* const kBad[] = {
      "[Chunks]\r\nChunk000=100-50\r\n",                   // backwards
      "[Chunks]\r\nChunk000=0-1000\r\n",                   // past the end (size 1000)
      "[Chunks]\r\nChunk000=0-99\r\nChunk001=50-150\r\n",  // overlap
      "[Chunks]\r\nChunk000=-5-10\r\n",                    // negative
      "[Chunks]\r\nChunk000=abc-10\r\n",                   // not a number
      "[Chunks]\r\nChunk000=10\r\n",                       // no end
      "[Chunks]\r\nChunk000=99999999999999999999-1\r\n",   // overflow
  };
  test::TTempDir dir;
  for (const char* text : kBad) {
    const std::string state = dir.File("bad.!dl");
    ASSERT_TRUE(test::WriteFileBytes(state, text));
    TDownLoadChunk pool;
    EXPECT_FALSE(pool.LoadAndSplit(state, 2, 1000)) << text;
    EXPECT_TRUE(pool.Ranges().empty()) << text;
  }
}

}  // namespace
}  // namespace lg

namespace lg {
namespace {

TEST(TDownLoadChunk, SixGiBFileSplitsAndSavesWith64BitOffsets) {
  test::TTempDir dir;
  const int64_t size = int64_t{6} << 30;
  {
    TDownLoadChunk pool;
    pool.InitRange(dir.File("f.!dl"), 10, 0, size - 1);
    auto ranges = pool.Ranges();
    ASSERT_EQ(ranges.size(), 16u);
    ExpectCovers(ranges, size);
    EXPECT_EQ(pool.PopRange()->Start, 0);
  }
  TDownLoadChunk loaded;
  ASSERT_TRUE(loaded.LoadAndSplit(dir.File("f.!dl"), 1, size));
  EXPECT_EQ(loaded.RemainingBytes(), size - (size / 16 + 1)) << "the popped lowest range is not saved";
  auto ranges = loaded.Ranges();
  int64_t highest = 0;
  for (const auto& r : ranges) highest = std::max(highest, r.End);
  EXPECT_EQ(highest, size - 1);
}

}  // namespace
}  // namespace lg
