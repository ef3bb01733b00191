#include "Library/hDownload/TWrittenDigest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "Library/hDownload/TBGFileStream.h"
#include "Library/hDownload/THttpDownload.h"
#include "common/Md5.h"
#include "common/Sha256.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/Library/hDownload/DownloadTestSupport.h"

namespace lg {
namespace {

using test::THttpReply;
using test::THttpTestServer;
using namespace test::download;

// Writes blocks into a file the way the writer does (the write, then the
// digest told about it).
struct TWrittenFile {
  test::TTempDir dir;
  plat::TFileStream file;
  TWrittenDigest digest{true};
  TWrittenFile() { EXPECT_TRUE(file.Open(dir.File("f.bin"), plat::TFileStream::Mode::Create)); }
  void Write(int64_t offset, const std::string& bytes) {
    ASSERT_TRUE(file.WriteAt(offset, bytes.data(), bytes.size()));
    digest.Written(file, offset, bytes.data(), bytes.size());
  }
  std::string Path() const { return dir.File("f.bin"); }
};

// Blocks in shuffled order, and now and then the next block's place
// written first with other bytes (a range fetched twice): when no byte was
// written twice the digests are always known, and whenever they are known
// they are those of the file as it stands.
TEST(TWrittenDigest, BlocksInAnyOrderGiveTheFilesDigests) {
  int known = 0, rewritten = 0;
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    const size_t size = 1 + random() % (3 * MiB);
    const std::string body = Body(size, seed);
    std::vector<std::pair<int64_t, int64_t>> blocks;  // offset, length
    for (size_t at = 0; at < size;) {
      const size_t length = std::min<size_t>(size - at, 1 + random() % (600 * KiB));
      blocks.emplace_back(at, length);
      at += length;
    }
    std::shuffle(blocks.begin(), blocks.end(), random);
    TWrittenFile f;
    bool twice = false;
    for (size_t i = 0; i < blocks.size(); ++i) {
      if (i + 1 < blocks.size() && random() % 3 == 0) {
        const auto [o, l] = blocks[i + 1];
        f.Write(o, std::string(static_cast<size_t>(l), 'z'));
        twice = true;
      }
      const auto [offset, length] = blocks[i];
      f.Write(offset, body.substr(static_cast<size_t>(offset), static_cast<size_t>(length)));
    }
    TFileDigests out;
    const bool result = f.digest.Result(static_cast<int64_t>(size), out);
    f.file.Close();
    ASSERT_EQ(test::ReadFileBytes(f.Path()), body);
    rewritten += twice;
    if (!twice) {
      EXPECT_TRUE(result);
    }
    if (!result) continue;
    ++known;
    EXPECT_EQ(out.Md5, Md5OfText(body));
    ASSERT_TRUE(out.HasSha256);
    EXPECT_EQ(Sha256Hex(out.Sha256), Sha256OfText(body));
  }
  EXPECT_GT(rewritten, 0);
  EXPECT_GT(known, 0);
}

TEST(TWrittenDigest, InOrderAndReversedWritesAreAlwaysKnown) {
  const std::string body = Body(900 * KiB + 5, 3);
  for (const bool reversed : {false, true}) {
    SCOPED_TRACE(reversed);
    TWrittenFile f;
    std::vector<size_t> starts;
    for (size_t at = 0; at < body.size(); at += 64 * KiB) starts.push_back(at);
    if (reversed) std::reverse(starts.begin(), starts.end());
    for (size_t at : starts) f.Write(static_cast<int64_t>(at), body.substr(at, 64 * KiB));
    TFileDigests out;
    ASSERT_TRUE(f.digest.Result(static_cast<int64_t>(body.size()), out));
    EXPECT_EQ(out.Md5, Md5OfText(body));
    EXPECT_EQ(Sha256Hex(out.Sha256), Sha256OfText(body));
  }
}

// Whatever leaves a doubt gives no digests, so the caller reads the file.
TEST(TWrittenDigest, DoubtfulWritesGiveNoDigests) {
  const std::string body = Body(10000, 4);
  {
    SCOPED_TRACE("hashed bytes written again, even the same ones");
    TWrittenFile f;
    f.Write(0, body);
    f.Write(100, body.substr(100, 50));
    TFileDigests out;
    EXPECT_FALSE(f.digest.Result(10000, out));
  }
  {
    SCOPED_TRACE("a gap: bytes that were never written");
    TWrittenFile f;
    f.Write(0, body.substr(0, 4000));
    f.Write(5000, body.substr(5000));
    TFileDigests out;
    EXPECT_FALSE(f.digest.Result(10000, out));
  }
  {
    SCOPED_TRACE("other size than the written bytes");
    TWrittenFile f;
    f.Write(0, body);
    TFileDigests out;
    EXPECT_FALSE(f.digest.Result(9999, out));
  }
  {
    SCOPED_TRACE("more separate stretches than it keeps");
    TWrittenFile f;
    for (size_t i = 1; i <= TWrittenDigest::kMaxStretches + 1; ++i) f.Write(static_cast<int64_t>(2 * i), "x");
    f.Write(0, "ab");  // the front reaches the first stretch
    TFileDigests out;
    EXPECT_FALSE(f.digest.Result(static_cast<int64_t>(2 * TWrittenDigest::kMaxStretches + 3), out));
  }
  {
    SCOPED_TRACE("nothing written, nothing expected: the empty file's digest");
    TWrittenFile f;
    TFileDigests out;
    ASSERT_TRUE(f.digest.Result(0, out));
    EXPECT_EQ(out.Md5, Md5OfText(""));
  }
}

TEST(TBGFileStream, FollowedDigestsAreTheWrittenFilesAndOnlyAfterClose) {
  test::TTempDir dir;
  const std::string body = Body(2 * MiB + 1, 5);
  TBGFileStream writer(dir.File("w.bin"));
  writer.FollowDigests(false);
  for (size_t at = body.size(); at > 0;) {  // back to front: all but the first block wait for the front
    const size_t start = at > 100 * KiB ? at - 100 * KiB : 0;
    ASSERT_TRUE(writer.Write(body.data() + start, static_cast<int32_t>(at - start), static_cast<int64_t>(start)));
    at = start;
  }
  TFileDigests out;
  EXPECT_FALSE(writer.WrittenDigests(static_cast<int64_t>(body.size()), out)) << "the writer may still be hashing";
  writer.Close();
  ASSERT_TRUE(writer.WrittenDigests(static_cast<int64_t>(body.size()), out));
  EXPECT_EQ(out.Md5, Md5OfText(body));
  EXPECT_FALSE(out.HasSha256);
}

class WrittenDigestModes : public ::testing::TestWithParam<TMode> {};
INSTANTIATE_TEST_SUITE_P(BothModes, WrittenDigestModes, ::testing::Values(TMode::Default, TMode::Pipelined),
                         [](const ::testing::TestParamInfo<TMode>& i) { return std::string(ModeName(i.param)); });

// Five connections write ranges side by side: the front waits for the
// lowest and reads the others back.
TEST_P(WrittenDigestModes, DownloadOverSeveralConnectionsKnowsItsFilesDigests) {
  THttpTestServer server;
  const std::string body = Body(6 * MiB + 17, 6);
  THttpReply reply = Ranged(body);
  reply.writeBytes = 64 * KiB;
  reply.writeDelayMs = 2;
  server.Serve("/d.bin", reply);
  test::TTempDir dir;
  TRecorder rec;
  THttpDownload d(5);
  UseMode(GetParam(), d, server);
  d.KeepDigests(true);
  rec.Wire(d);
  d.Start(server.Url("/d.bin"), dir.Path(), 0);
  ASSERT_TRUE(RunToEnd(d, rec));
  ASSERT_EQ(rec.completes, 1) << d.ErrorText();
  const auto digests = d.WrittenDigests();
  ASSERT_TRUE(digests.has_value());
  EXPECT_EQ(digests->Md5, Md5OfText(body));
  ASSERT_TRUE(digests->HasSha256);
  EXPECT_EQ(Sha256Hex(digests->Sha256), Sha256OfText(body));
  EXPECT_EQ(Md5OfFile(dir.File("d.bin")), Md5OfText(body));
}

// A resumed file holds bytes this run never saw, and an inflated one other
// bytes than those written: neither claims digests, and both files are
// exact. Without KeepDigests nothing is worked out.
TEST(THttpDownload, DigestsOnlyForFilesWrittenWholeAsServed) {
  const std::string body = Body(1 * MiB + 7, 8);
  {
    SCOPED_TRACE("resumed");
    THttpTestServer server;
    server.Serve("/u.bin", Ranged(body));
    test::TTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(
        dir.File("u.bin.!dl"),
        "[Setup]\r\nURL=x\r\nFileSize=" + std::to_string(body.size()) + "\r\n[Chunks]\r\nChunk000=0-4095\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("u.bin.!tmp"), std::string(4096, 'g') + body.substr(4096)));
    TRecorder rec;
    THttpDownload d(3);
    d.KeepDigests(false);
    rec.Wire(d);
    d.Start(server.Url("/u.bin"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    ASSERT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_EQ(server.RequestCount(), 2u) << "the probe and the one missing range";
    EXPECT_FALSE(d.WrittenDigests().has_value());
    EXPECT_EQ(test::ReadFileBytes(dir.File("u.bin")), body);
  }
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "gzip" : "not asked for");
    THttpTestServer server;
    THttpReply reply = Ranged(text);
    if (keep) reply.coding = THttpReply::TCoding::Gzip;
    server.Serve("/t.txt", reply);
    test::TTempDir dir;
    TRecorder rec;
    THttpDownload d(5);
    if (keep) d.KeepDigests(false);
    rec.Wire(d);
    d.Start(server.Url("/t.txt"), dir.Path(), 0);
    ASSERT_TRUE(RunToEnd(d, rec));
    ASSERT_EQ(rec.completes, 1) << d.ErrorText();
    EXPECT_FALSE(d.WrittenDigests().has_value());
    EXPECT_EQ(test::ReadFileBytes(dir.File("t.txt")), text);
  }
}

}  // namespace
}  // namespace lg
