#include "Library/hDownload/WebText.h"

#include <gtest/gtest.h>

#include "common/AdapterInfo.h"
#include "common/Gbk.h"

namespace lg {
namespace {

TEST(UrlEncode, KeepsPathCharactersAndEscapesTheRest) {
  struct Row {
    std::string in;
    bool plus;
    std::string out;
  };
  const Row rows[] = {
      {"a b/c", false, "a%20b/c"},
      {"a b/c", true, "a+b/c"},
      {"/p?x=1&y=2", false, "/p?x=1&y=2"},
      {"A-Z_a.z~", false, "A-Z_a.z%7E"},
      {"host:80", false, "host%3A80"},
      {"50%", false, "50%25"},
      {"", false, ""},
  };
  for (const Row& r : rows) EXPECT_EQ(UrlEncode(r.in, r.plus), r.out) << r.in;
}

TEST(UrlEncode, GbkCharacterBecomesItsUtf8Bytes) {
  // U+4E2D is E4 B8 AD in UTF-8.
  EXPECT_EQ(UrlEncode(Gbk("中"), false), "%E4%B8%AD");
  EXPECT_EQ(UrlEncode(Gbk("/更新/a.txt"), false), "/%E6%9B%B4%E6%96%B0/a.txt");
}

TEST(Base64Encode, Rfc4648Vectors) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},
      {"a", "YQ=="},
      {"ab", "YWI="},
      {"abc", "YWJj"},
      {"f", "Zg=="},
      {"foobar", "Zm9vYmFy"},
      {"user:pass", "dXNlcjpwYXNz"},
      {std::string("\xff\xfe\x00", 3), "//4A"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(Base64Encode(in), out) << in;
}

TEST(SplitText, FirstAndLastRuns) {
  std::string text = ": value";
  EXPECT_EQ(SplitFirst(text, ": "), "");
  EXPECT_EQ(text, "value");

  text = "Name:: value:x";
  EXPECT_EQ(SplitFirst(text, ": "), "Name");
  EXPECT_EQ(text, "value:x");

  text = "novalue";
  EXPECT_EQ(SplitFirst(text, ":"), "");
  EXPECT_EQ(text, "novalue");

  text = "trailing::";
  EXPECT_EQ(SplitFirst(text, ":"), "trailing");
  EXPECT_EQ(text, "");

  text = "host:8080";
  EXPECT_EQ(SplitLast(text, ":"), "8080");
  EXPECT_EQ(text, "host");

  text = "host";
  EXPECT_EQ(SplitLast(text, ":"), "");
  EXPECT_EQ(text, "host");

  text = "a//b";
  EXPECT_EQ(SplitLast(text, "/"), "b");
  EXPECT_EQ(text, "a");

  text = "::x";
  EXPECT_EQ(SplitLast(text, ":"), "x");
  EXPECT_EQ(text, "");
}

TEST(ReplaceAll, LeftToRightWithoutRescanning) {
  EXPECT_EQ(ReplaceAll("a\\\\b\\c", "\\\\", "/"), "a/b\\c");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "x"), "");
  EXPECT_EQ(ReplaceAll("xyxy", "xy", ""), "");
}

TEST(AdapterMacText, TextFormAndMissingAdapters) {
  EXPECT_EQ(plat::FormatHardwareAddress({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(plat::FormatHardwareAddress({}), "");
  EXPECT_EQ(AdapterMacText(10000), "");
  EXPECT_EQ(AdapterMacText(-1), "");
  // Whatever adapters this host has, present ones read in the same form.
  for (int i = 0; i < 4; ++i) {
    const std::string mac = AdapterMacText(i);
    if (mac.empty()) continue;
    EXPECT_EQ(mac.size() % 3, 2u) << mac;
    for (size_t k = 2; k < mac.size(); k += 3) EXPECT_EQ(mac[k], '-') << mac;
  }
}

}  // namespace
}  // namespace lg
