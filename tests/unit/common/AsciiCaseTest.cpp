#include "common/AsciiCase.h"

#include <gtest/gtest.h>

namespace lg {
namespace {

TEST(AsciiCase, OnlyAsciiCapitalsFold) {
  for (int b = 0; b < 256; ++b) {
    const unsigned char c = static_cast<unsigned char>(b);
    const unsigned char want = (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : c;
    EXPECT_EQ(AsciiLower(c), want) << b;
    EXPECT_EQ(static_cast<unsigned char>(AsciiLower(static_cast<char>(c))), want) << b;
  }
}

TEST(AsciiCase, SameTextComparesFoldedBytes) {
  struct TCase {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Content-Length", "content-length", true},
      {"SERVER", "server", true},
      {"", "", true},
      {"abc", "abcd", false},
      {"abc", "abd", false},
      // '@' and '`' sit just outside the letter ranges: not a case pair.
      {"@", "`", false},
      {"[", "{", false},
      // GBK bytes above 0x7F compare as they are.
      {"\xC4\xE3", "\xC4\xE3", true},
      {"\xC4\xC3", "\xC4\xE3", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(SameText(c.b, c.a), c.same) << c.b << " / " << c.a;
  }
  static_assert(SameText("Main", "MAIN"));
}

}  // namespace
}  // namespace lg
