#include "common/Md5.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace lg {
namespace {

struct Rfc1321Case {
  const char* text;
  const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
const Rfc1321Case kRfcSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(TMd5, Rfc1321SuiteForTextAndBuffer) {
  for (const auto& c : kRfcSuite) {
    EXPECT_EQ(Md5OfText(c.text), c.digest) << c.text;
    std::string s(c.text);
    EXPECT_EQ(Md5OfBuffer(s.data(), s.size()), c.digest) << c.text;
  }
}

TEST(TMd5, IncrementalUpdatesAcrossBlockBoundariesMatchOneShot) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 31 + 7));
  const std::string whole = Md5OfBuffer(data.data(), data.size());
  for (size_t step : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u}) {
    TMd5 md5;
    for (size_t pos = 0; pos < data.size(); pos += step)
      md5.Update(data.data() + pos, std::min(step, data.size() - pos));
    EXPECT_EQ(md5.FinalHex(), whole) << "step " << step;
  }
}

// Nine MiB and a bit: crosses two 4 MiB mapping windows. The expected value
// was produced by md5sum over the same bytes.
TEST(TMd5, FileAcrossMappingWindowsMatchesMd5sum) {
  test::TTempDir dir;
  std::string data(9 * 1024 * 1024 + 123, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7 + 13) % 251);
  ASSERT_TRUE(test::WriteFileBytes(dir.File("nine.bin"), data));
  EXPECT_EQ(Md5OfFile(dir.File("nine.bin")), "d385d933d6da9d315f83a66a27984702");
}

TEST(TMd5, EmptyAndMissingFiles) {
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("empty"), ""));
  EXPECT_EQ(Md5OfFile(dir.File("empty")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5OfFile(dir.File("missing")), std::string(32, '0'));
  EXPECT_EQ(Md5OfFile(dir.Path()), std::string(32, '0')) << "a folder cannot be digested";
}

}  // namespace
}  // namespace lg
