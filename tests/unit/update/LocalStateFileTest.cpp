#include "update/LocalStateFile.h"

#include <gtest/gtest.h>

namespace lg {
namespace {

struct TLineCase {
  const char* line;
  bool ok;
  const char* name;
  const char* hash;
  int32_t stamp;
};

const TLineCase kLines[] = {
    {"a.dat=0123abcd-1234", true, "a.dat", "0123abcd", 1234},
    {"a.dat=x-", true, "a.dat", "x", 0},  // nothing after the hyphen
    {"a.dat=-1234", false},               // empty digest
    {"a.dat=abcd", false},
    {"a.dat", false},
    {"", false},
    {"a=b=c-d-5", true, "a", "b=c", 0},  // split at the first "=" and the first "-"
    {"a=h--5", true, "a", "h", -5},
    {"a=h-+7", true, "a", "h", 7},
    {"a=h-2147483647", true, "a", "h", 2147483647},
    {"a=h--2147483648", true, "a", "h", INT32_MIN},
    {"a=h-2147483648", true, "a", "h", 0},  // does not fit
    {"a=h-12 ", true, "a", "h", 0},
    {"a=h-0x10", true, "a", "h", 0},
    {"a=h-000000000000000000001", true, "a", "h", 0},  // 21 digits: only 20 are read, value 0
    {"a=h-00000000000000000009", true, "a", "h", 9},
    {"=h-1", true, "", "h", 1},
    {"\xD6\xD0.dat=h-3", true, "\xD6\xD0.dat", "h", 3},
};

TEST(LocalStateFile, LinesSplitAtTheFirstEqualsAndHyphen) {
  for (const TLineCase& c : kLines) {
    TLocalStateLine line;
    ASSERT_EQ(ParseLocalStateLine(c.line, line), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(line.Name, c.name) << c.line;
    EXPECT_EQ(line.Hash, c.hash) << c.line;
    EXPECT_EQ(line.Stamp, c.stamp) << c.line;
  }
}

TEST(LocalStateFile, TextSplitsAtEveryKindOfLineBreak) {
  auto lines = ParseLocalState("a=1-1\r\nb=2-2\nbad\rc=3-3\r\n\r\nd=4-4");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].Name, "a");
  EXPECT_EQ(lines[1].Name, "b");
  EXPECT_EQ(lines[2].Name, "c");
  EXPECT_EQ(lines[3].Name, "d");
  EXPECT_EQ(lines[3].Stamp, 4);
}

TEST(LocalStateFile, FormattedLinesReadBack) {
  std::string text = FormatLocalStateLine("data\\a.dat", "0123456789abcdef0123456789abcdef", -1234567) +
                     FormatLocalStateLine("b", "h", 0);
  EXPECT_EQ(text, "data\\a.dat=0123456789abcdef0123456789abcdef--1234567\r\nb=h-0\r\n");
  auto lines = ParseLocalState(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Stamp, -1234567);
  EXPECT_EQ(lines[1].Hash, "h");
}

}  // namespace
}  // namespace lg
