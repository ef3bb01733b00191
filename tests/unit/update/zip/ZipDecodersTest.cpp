#include <gtest/gtest.h>

#include <functional>
#include <random>

#include <zlib.h>

#include "tests/support/ZipLegacyEncoders.h"
#include "update/zip/TZipInflater.h"
#include "update/zip/ZipDecoders.h"

namespace lg {
namespace {

struct TCodec {
  const char* name;
  std::function<std::string(std::string_view)> encode;
  std::function<bool(IZipByteSource&, TZipOutWindow&)> decode;
};

std::vector<TCodec> Codecs() {
  std::vector<TCodec> out;
  out.push_back({"shrink", test::ShrinkBytes, ZipUnshrink});
  for (int f = 1; f <= 4; ++f)
    out.push_back({"reduce", [f](std::string_view d) { return test::ReduceBytes(d, f); },
                   [f](IZipByteSource& in, TZipOutWindow& o) { return ZipUnreduce(in, o, f); }});
  for (int flags : {0, 2, 4, 6})
    out.push_back(
        {"implode", [flags](std::string_view d) { return test::ImplodeBytes(d, flags & 2, flags & 4); },
         [flags](IZipByteSource& in, TZipOutWindow& o) { return ZipExplode(in, o, static_cast<uint16_t>(flags)); }});
  return out;
}

bool Decode(const TCodec& c, const std::string& packed, uint64_t limit, std::string& result) {
  TZipMemorySource in(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
  TZipStringSink sink;
  TZipOutWindow window(sink, limit);
  const bool ok = c.decode(in, window);
  window.Flush();
  result = sink.Data;
  return ok;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& ch : s) ch = static_cast<char>(rng() & 0xFF);
  return s;
}

std::vector<std::string> Samples() {
  return {
      std::string(1, 'x'),      std::string(3000, '\x90'),   // the reduce escape byte, repeated
      test::SampleText(700, 1), test::SampleText(60000, 2),  // long enough to widen shrink codes to 13 bits and clear
      RandomBytes(5000, 3),     test::SampleText(20000, 4) + RandomBytes(3000, 5) + test::SampleText(9000, 6)};
}

TEST(ZipDecoders, EveryMethodRoundTripsItsEncoder) {
  for (const TCodec& c : Codecs()) {
    for (const std::string& sample : Samples()) {
      const std::string packed = c.encode(sample);
      std::string out;
      ASSERT_TRUE(Decode(c, packed, sample.size(), out)) << c.name << " size " << sample.size();
      EXPECT_TRUE(out == sample) << c.name << " size " << sample.size();
    }
  }
}

TEST(ZipDecoders, ShrinkPartialClearsStillDecode) {
  // Random bytes fill the 8192-code table quickly, forcing partial clears.
  const std::string sample = RandomBytes(200000, 9) + test::SampleText(50000, 10);
  const TCodec c = Codecs()[0];
  std::string out;
  ASSERT_TRUE(Decode(c, c.encode(sample), sample.size(), out));
  EXPECT_TRUE(out == sample);
}

TEST(ZipDecoders, NeverWriteMoreThanTheDeclaredSize) {
  const std::string sample = test::SampleText(10000, 7);
  for (const TCodec& c : Codecs()) {
    const std::string packed = c.encode(sample);
    std::string out;
    EXPECT_FALSE(Decode(c, packed, 4000, out)) << c.name;
    EXPECT_LE(out.size(), 4000u) << c.name;
    EXPECT_EQ(out, sample.substr(0, out.size())) << c.name;
  }
}

TEST(ZipDecoders, StreamsThatEndEarlyFail) {
  const std::string sample = test::SampleText(10000, 8);
  for (const TCodec& c : Codecs()) {
    const std::string packed = c.encode(sample);
    std::string out;
    EXPECT_FALSE(Decode(c, packed.substr(0, packed.size() / 2), sample.size(), out)) << c.name;
    EXPECT_FALSE(Decode(c, packed, sample.size() + 100, out)) << c.name << ": declared size larger than the data";
  }
}

TEST(ZipDecoders, MalformedHeadersAreRefused) {
  std::string out;
  // Reduce: a follower count above 32 (6 bits of 63).
  const std::string badFollowers = "\x3F" + std::string(100, '\0');
  EXPECT_FALSE(Decode(Codecs()[1], badFollowers, 10, out));
  // Implode: a length tree of 64 one-bit codes over-subscribes the code space.
  std::string badTree;
  badTree += '\x03';  // four run bytes follow
  for (int i = 0; i < 4; ++i) badTree += '\xF0';
  badTree += std::string(40, '\0');
  EXPECT_FALSE(Decode(Codecs()[5], badTree, 10, out));
  // Implode: runs that cover fewer symbols than the tree has.
  const std::string shortTree = std::string("\x00\x05", 2) + std::string(40, '\0');
  EXPECT_FALSE(Decode(Codecs()[5], shortTree, 10, out));
  // Shrink: a first code that is not a byte, and an unknown control code.
  const std::string notByte = "\xFF\xFF\xFF";
  EXPECT_FALSE(Decode(Codecs()[0], notByte, 10, out));
  const std::string badControl = std::string("\x41\x00\x02\x0C\x00", 5);  // 'A', 256, 3
  EXPECT_FALSE(Decode(Codecs()[0], badControl, 10, out));
}

TEST(ZipDecoders, StoredAndDeflatedRespectTheLimit) {
  const std::string data = test::SampleText(5000, 11);
  std::string out;
  TCodec stored{"stored", [](std::string_view d) { return std::string(d); }, ZipStore};
  EXPECT_TRUE(Decode(stored, data, data.size(), out));
  EXPECT_EQ(out, data);
  EXPECT_FALSE(Decode(stored, data, data.size() - 1, out));
  EXPECT_EQ(out.size(), data.size() - 1);
  EXPECT_FALSE(Decode(stored, data, data.size() + 1, out));
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(ZipDecoders, ReusedWindowForgetsTheLastEntry) {
  TZipStringSink first, second;
  // More than the ring holds, so every byte of it belongs to this entry.
  TZipOutWindow window(first, 70000);
  const std::string filler(70000, '\xAA');
  ASSERT_TRUE(window.Write(reinterpret_cast<const uint8_t*>(filler.data()), filler.size()));
  ASSERT_TRUE(window.Flush());
  EXPECT_FALSE(window.Put('z')) << "the first entry is full";

  window.Restart(second, 5);
  EXPECT_FALSE(window.Full());
  ASSERT_TRUE(window.Put('x'));
  // Reaching back before the new entry's first byte reads zeros, not the
  // bytes of the entry before.
  ASSERT_TRUE(window.Copy(100, 3));
  EXPECT_TRUE(window.Copy(4, 1)) << "history of this entry: the 'x'";
  EXPECT_FALSE(window.Copy(1, 1)) << "the new limit holds";
  ASSERT_TRUE(window.Flush());
  EXPECT_EQ(second.Data, std::string("x\0\0\0x", 5));
  EXPECT_EQ(first.Data.size(), filler.size());
}

TEST(ZipDecoders, OneInflaterDecodesEntryAfterEntry) {
  const std::string a = test::SampleText(70000, 12), b = RandomBytes(3000, 13), c = test::SampleText(10, 14);
  const std::string packedA = RawDeflate(a), packedB = RawDeflate(b), packedC = RawDeflate(c);
  TZipInflater inflater;
  const auto run = [&](const std::string& packed, uint64_t limit, std::string& out) {
    TZipMemorySource in(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    TZipStringSink sink;
    TZipOutWindow window(sink, limit);
    const bool ok = inflater.Inflate(in, window);
    out = sink.Data;
    return ok;
  };
  std::string out;
  ASSERT_TRUE(run(packedA, a.size(), out));
  EXPECT_TRUE(out == a);
  // A stream cut short, one that is garbage and one over its limit each
  // fail without spoiling the next.
  EXPECT_FALSE(run(packedB.substr(0, packedB.size() / 2), b.size(), out));
  ASSERT_TRUE(run(packedC, c.size(), out));
  EXPECT_EQ(out, c);
  EXPECT_FALSE(run(std::string(64, '\xFF'), 100, out));
  EXPECT_FALSE(run(packedA, 1000, out));
  EXPECT_LE(out.size(), 1000u);
  ASSERT_TRUE(run(packedB, b.size(), out));
  EXPECT_TRUE(out == b);
}

}  // namespace
}  // namespace lg
