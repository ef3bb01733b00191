#include "tools/launcher-publish/ManifestJson.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "common/Gbk.h"
#include "tools/launcher-publish/GlobMatch.h"
#include "tools/launcher-publish/PublishCache.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg::publish {
namespace {

struct TJsonCase {
  std::string gbk;
  std::string literal;
};

void PrintTo(const TJsonCase& c, std::ostream* os) {
  *os << c.literal;
}

class JsonStringTest : public ::testing::TestWithParam<TJsonCase> {};

// Written as expected, and read back by the launcher's parser as the same
// GBK bytes.
TEST_P(JsonStringTest, WritesAsciiThatReadsBackToTheSameGbk) {
  const TJsonCase& c = GetParam();
  const std::string literal = JsonString(c.gbk);
  EXPECT_EQ(literal, c.literal);
  for (char ch : literal) EXPECT_LT(static_cast<unsigned char>(ch), 0x80u);
  std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText("{\"v\":" + literal + "}");
  ASSERT_TRUE(doc && doc->Kind() == jsObject);
  EXPECT_EQ(static_cast<TzqJSONobject*>(doc.get())->FieldText("v"), c.gbk);
}

INSTANTIATE_TEST_SUITE_P(Cases, JsonStringTest,
                         ::testing::Values(TJsonCase{"data\\ui\\a.dat", "\"data\\\\ui\\\\a.dat\""},
                                           TJsonCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                                           TJsonCase{"tab\there\nline\r", "\"tab\\there\\nline\\r\""},
                                           TJsonCase{std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
                                           TJsonCase{Gbk("地图\\场景.map"), "\"\\u5730\\u56fe\\\\\\u573a\\u666f.map\""},
                                           TJsonCase{"", "\"\""}));

TEST(ManifestText, EveryKeyHasTheKindTheLauncherReads) {
  std::string text = ManifestText({{"a\\b.dat", "0123456789abcdef0123456789abcdef", 42, true, 0},
                                   {"launcher.exe", "ffffffffffffffffffffffffffffffff", 7, false, 1}});
  std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(text);
  ASSERT_TRUE(doc && doc->Kind() == jsList);
  auto* list = static_cast<TzqJSONlist*>(doc.get());
  ASSERT_EQ(list->Count(), 2);
  auto* a = static_cast<TzqJSONobject*>(list->Child(0));
  EXPECT_EQ(a->Field("File")->Kind(), jsString);
  EXPECT_EQ(a->Field("Hash")->Kind(), jsString);
  EXPECT_EQ(a->Field("Size")->Kind(), jsNumber);
  EXPECT_EQ(a->Field("IsZip")->Kind(), jsBoolean);
  EXPECT_EQ(a->Field("Need")->Kind(), jsBoolean);
  EXPECT_EQ(a->Field("isLauncher")->Kind(), jsNumber);
  EXPECT_EQ(a->FieldText("File"), "a\\b.dat");
  EXPECT_EQ(a->FieldInt("Size"), 42);
  EXPECT_TRUE(a->FieldBool("IsZip"));
  EXPECT_TRUE(a->FieldBool("Need"));
  EXPECT_EQ(static_cast<TzqJSONobject*>(list->Child(1))->FieldInt("isLauncher"), 1);

  std::unique_ptr<TzqJSONbase> rel = TzqJSONstreamed::ParseText(ReleaseText({"package.zip", 0, "ab", 2147483647}));
  ASSERT_TRUE(rel && rel->Kind() == jsObject);
  auto* r = static_cast<TzqJSONobject*>(rel.get());
  EXPECT_EQ(r->FieldText("File"), "package.zip");
  EXPECT_EQ(r->FieldText("MD5"), "ab");
  EXPECT_EQ(r->FieldInt("Size"), 2147483647);
  EXPECT_EQ(r->Field("isLauncher")->Kind(), jsNumber);
}

struct TGlobCase {
  const char* pattern;
  const char* path;
  bool match;
};

void PrintTo(const TGlobCase& c, std::ostream* os) {
  *os << c.pattern << " ~ " << c.path;
}

class GlobTest : public ::testing::TestWithParam<TGlobCase> {};

TEST_P(GlobTest, Matches) {
  const TGlobCase& c = GetParam();
  EXPECT_EQ(GlobMatch(c.pattern, c.path), c.match) << c.pattern << " vs " << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GlobTest,
    ::testing::Values(TGlobCase{"*.pak", "a.pak", true}, TGlobCase{"*.pak", "data/a.pak", false},
                      TGlobCase{"data/*.pak", "data/a.pak", true}, TGlobCase{"data/*.pak", "data/x/a.pak", false},
                      TGlobCase{"**/*.pak", "a.pak", true}, TGlobCase{"**/*.pak", "data/x/a.pak", true},
                      TGlobCase{"data/**", "data/x/y", true}, TGlobCase{"data/**", "database/x", false},
                      TGlobCase{"**.pak", "x/y.pak", true}, TGlobCase{"*.PAK", "a.pak", true},
                      TGlobCase{"?.dat", "\xe5\x9c\xb0.dat", true}, TGlobCase{"?.dat", "ab.dat", false},
                      TGlobCase{"a?b", "a/b", false}, TGlobCase{"", "", true}, TGlobCase{"*", "", true},
                      TGlobCase{"a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}));

TEST(PublishCache, TextRoundTripsAndRejectsDamage) {
  TPublishCache cache;
  cache.Source = "/games/x";
  cache.Package = "package.zip";
  cache.Records["data/" + Gbk("地图") + "/a b.dat"] = {12, -5, "0123456789abcdef0123456789abcdef", true, 30};
  cache.Records["e"] = {0, 99, "d41d8cd98f00b204e9800998ecf8427e", false, 0};
  TPublishCache back;
  ASSERT_TRUE(back.Parse(cache.Text()));
  EXPECT_EQ(back.Source, cache.Source);
  EXPECT_EQ(back.Package, cache.Package);
  ASSERT_EQ(back.Records.size(), 2u);
  const TCacheRecord& r = back.Records.at("data/" + Gbk("地图") + "/a b.dat");
  EXPECT_EQ(r.Size, 12u);
  EXPECT_EQ(r.MTime, -5);
  EXPECT_TRUE(r.Zip);
  EXPECT_EQ(r.Served, 30);
  for (const char* bad :
       {"", "other header\n", "launcher-publish cache 1\n1\t2\t3\n", "launcher-publish cache 1\nx\t2\th\t0\t3\tname\n"})
    EXPECT_FALSE(TPublishCache().Parse(bad)) << bad;
}

}  // namespace
}  // namespace lg::publish
