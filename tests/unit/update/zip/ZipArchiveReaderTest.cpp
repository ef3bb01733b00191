#include "update/zip/TZipArchiveReader.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/TestSupport.h"

namespace lg {
namespace {

TEST(ZipArchiveReader, ReadsAnywhereAsTheFileItselfDoes) {
  test::TTempDir dir;
  const size_t size = 3 * TZipArchiveReader::kBlock + 1234;
  std::string data(size, '\0');
  std::mt19937 rng(7);
  for (char& c : data) c = static_cast<char>(rng() & 0xFF);
  ASSERT_TRUE(test::WriteFileBytes(dir.File("a.zip"), data));
  plat::TFileStream file;
  ASSERT_TRUE(file.Open(dir.File("a.zip"), plat::TFileStream::Mode::Read));
  TZipArchiveReader reader(file);

  // Forward runs as the extractor makes them, jumps back, reads across a
  // block's end, larger than a block, and past the end of the file.
  struct TRead {
    uint64_t offset;
    size_t size;
  };
  std::vector<TRead> reads = {{0, 30},
                              {30, 12},
                              {42, 500},
                              {10, 20},
                              {TZipArchiveReader::kBlock - 7, 20},
                              {5, 2 * TZipArchiveReader::kBlock},
                              {size - 10, 100},
                              {size, 5},
                              {size + 50, 5}};
  for (int i = 0; i < 300; ++i) reads.push_back({rng() % (size + 100), rng() % 3000});
  for (const TRead& r : reads) {
    std::string got(r.size, '\0');
    const int64_t n = reader.ReadAt(r.offset, got.data(), r.size);
    const size_t expected = r.offset >= size ? 0 : std::min(r.size, static_cast<size_t>(size - r.offset));
    ASSERT_EQ(n, static_cast<int64_t>(expected)) << "at " << r.offset << " size " << r.size;
    EXPECT_TRUE(got.compare(0, expected, data, static_cast<size_t>(std::min<uint64_t>(r.offset, size)), expected) == 0)
        << "at " << r.offset << " size " << r.size;
  }
}

TEST(ZipArchiveReader, ClosedFileIsAReadError) {
  plat::TFileStream file;
  TZipArchiveReader reader(file);
  char byte = 0;
  EXPECT_EQ(reader.ReadAt(0, &byte, 1), -1);
}

}  // namespace
}  // namespace lg
