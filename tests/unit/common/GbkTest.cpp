#include <gtest/gtest.h>

#include <string>

#include "common/Gbk.h"
#include "common/Platform.h"
#include "tests/unit/common/GbkSamples.h"

namespace lg {
namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

TEST(Gbk, EveryLauncherTextConvertsToItsGbkBytesAndBack) {
  for (const GbkSample& s : kGbkSamples) {
    const std::string gbk = FromHex(s.gbkHex);
    EXPECT_EQ(Gbk(s.utf8), gbk) << s.utf8;
    EXPECT_EQ(plat::Utf8FromGbk(gbk), s.utf8);
    std::u16string wide = plat::Utf16FromGbk(gbk);
    EXPECT_EQ(plat::GbkFromUtf16(wide), gbk) << s.utf8;
  }
}

TEST(Gbk, Utf16OfKnownCharacters) {
  EXPECT_EQ(plat::Utf16FromGbk("\xD6\xD0"), u"\u4E2D");  // 中
  EXPECT_EQ(plat::Utf16FromGbk("a\xCE\xC4z"), u"a\u6587z");
  EXPECT_EQ(plat::Utf16FromGbk(""), u"");
  // Code page 936 maps 0x80 to the euro sign.
  EXPECT_EQ(plat::Utf16FromGbk("\x80"), u"\u20AC");
}

TEST(Gbk, UnencodableCharactersAreRefusedByTheStrictForm) {
  std::string out = "unchanged";
  EXPECT_FALSE(plat::TryGbkFromUtf8("snow \xE2\x98\x83", out));  // U+2603 has no GBK code
  EXPECT_EQ(out, "unchanged");
  EXPECT_EQ(plat::GbkFromUtf8("snow \xE2\x98\x83"), "snow ?");
  EXPECT_TRUE(plat::TryGbkFromUtf8("\xE4\xB8\xAD", out));
  EXPECT_EQ(out, "\xD6\xD0");
}

TEST(Gbk, TruncatedDoubleByteCharacterDoesNotSwallowText) {
  // A lead byte at the very end has no trail byte: it becomes one
  // replacement character and nothing before it is lost.
  std::u16string wide = plat::Utf16FromGbk("ab\xD6");
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide.substr(0, 2), u"ab");
}

TEST(Gbk, LeadByteRange) {
  EXPECT_FALSE(IsGbkLeadByte(0x80));
  EXPECT_TRUE(IsGbkLeadByte(0x81));
  EXPECT_TRUE(IsGbkLeadByte(0xFE));
  EXPECT_FALSE(IsGbkLeadByte(0xFF));
}

}  // namespace
}  // namespace lg
