#include "common/ProfileFile.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace lg {
namespace {

struct ReadCase {
  const char* text;
  const char* key;
  const char* expected;  // nullptr: missing
};

const ReadCase kReads[] = {
    {"[Main]\r\nlastserver=12\r\n", "lastserver", "12"},
    {"[main]\nLASTSERVER = 12 \n", "lastserver", "12"},
    {"[Other]\r\nlastserver=1\r\n[Main]\r\nUpdateNow=2\r\n", "lastserver", nullptr},
    {"[Other]\r\nlastserver=1\r\n[Main]\r\nUpdateNow=2\r\n", "UpdateNow", "2"},
    {"[Main]\r\nname=\"quoted value\"\r\n", "name", "quoted value"},
    {"[Main]\r\n;lastserver=5\r\n", "lastserver", nullptr},
    {"[Main]\r\nlastserver=1\r\nlastserver=2\r\n", "lastserver", "1"},
    {"", "lastserver", nullptr},
};

TEST(ProfileFile, ReadsValuesLikeTheSystemProfileFunctions) {
  for (const auto& c : kReads) {
    auto v = ProfileValue(c.text, "Main", c.key);
    if (!c.expected) {
      EXPECT_FALSE(v.has_value()) << c.text;
    } else {
      ASSERT_TRUE(v.has_value()) << c.text;
      EXPECT_EQ(*v, c.expected) << c.text;
    }
  }
}

TEST(ProfileFile, IntegersMustBeWhole) {
  int n = 0;
  EXPECT_TRUE(ParseProfileInt("42", n));
  EXPECT_EQ(n, 42);
  EXPECT_TRUE(ParseProfileInt("-7", n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(ParseProfileInt("0x10", n));
  EXPECT_EQ(n, 16);
  EXPECT_FALSE(ParseProfileInt("12abc", n));
  EXPECT_FALSE(ParseProfileInt("", n));
  EXPECT_FALSE(ParseProfileInt("99999999999", n));
}

TEST(ProfileFile, WritingKeepsOtherLinesAndReplacesTheKey) {
  std::string text = "; comment\r\n[Main]\r\nlastserver=3\r\nUpdateNow=1\r\n\r\n[Other]\r\nx=y\r\n";
  text = WithProfileValue(text, "Main", "lastserver", "9");
  EXPECT_EQ(text, "; comment\r\n[Main]\r\nlastserver=9\r\nUpdateNow=1\r\n\r\n[Other]\r\nx=y\r\n");
  text = WithProfileValue(text, "main", "extra", "5");
  EXPECT_EQ(text, "; comment\r\n[Main]\r\nlastserver=9\r\nUpdateNow=1\r\nextra=5\r\n\r\n[Other]\r\nx=y\r\n");
  EXPECT_EQ(WithProfileValue("", "Main", "UpdateNow", "0"), "[Main]\r\nUpdateNow=0\r\n");
  EXPECT_EQ(WithProfileValue("[A]\r\na=1", "Main", "k", "v"), "[A]\r\na=1\r\n\r\n[Main]\r\nk=v\r\n");
}

TEST(ProfileFile, FileRoundTripAndDefaults) {
  test::TTempDir dir;
  const std::string ini = dir.File("launcher.ini");
  EXPECT_EQ(ReadProfileInt(ini, "Main", "lastserver", 0), 0) << "a missing file reads as defaults";
  ASSERT_TRUE(WriteProfileInt(ini, "Main", "lastserver", 1203));
  ASSERT_TRUE(WriteProfileInt(ini, "Main", "UpdateNow", 2));
  EXPECT_EQ(ReadProfileInt(ini, "Main", "lastserver", 0), 1203);
  EXPECT_EQ(ReadProfileInt(ini, "Main", "UpdateNow", 0), 2);
  EXPECT_EQ(test::ReadFileBytes(ini), "[Main]\r\nlastserver=1203\r\nUpdateNow=2\r\n");
  ASSERT_TRUE(WriteProfileString(ini, "Main", "UpdateNow", "garbage"));
  EXPECT_EQ(ReadProfileInt(ini, "Main", "UpdateNow", 0), 0);
  EXPECT_FALSE(WriteProfileInt(dir.Path() + "missing\\folder\\x.ini", "Main", "k", 1));
}

}  // namespace
}  // namespace lg
