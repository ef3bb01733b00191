#include "tests/unit/cmake/LayerTable.h"

#include <gtest/gtest.h>

#include <set>

namespace lg::test {
namespace {

const char* const kTable =
    "# comment line\n"
    "common/        0\n"
    "Generated.h    0   # a generated header\n"
    "\n"
    "net/           1\n"
    "update/json/   1\n"
    "update/        2\n"
    "servers/       2\n"
    "tools/         6\n";

TLayerTable Table() {
  TLayerTable t;
  std::string error;
  EXPECT_TRUE(t.Parse(kTable, error)) << error;
  return t;
}

TEST(LayerTable, ParsesPrefixesAndLayersSkippingComments) {
  const TLayerTable t = Table();
  ASSERT_EQ(t.Entries().size(), 7u);
  EXPECT_EQ(t.Entries()[1].Prefix, "Generated.h");
  EXPECT_EQ(t.Entries()[4].Prefix, "update/");
  EXPECT_EQ(t.Entries()[4].Layer, 2);
  EXPECT_EQ(t.Entries()[6].Layer, 6);
}

TEST(LayerTable, MalformedLinesAreRejectedWithTheirNumber) {
  struct TCase {
    const char* text;
    const char* error;
  } cases[] = {
      {"common/ 0\nnet/\n", "line 2: expected"},
      {"common/ zero\n", "line 1: expected"},
      {"common/ -1\n", "line 1: expected"},
      {"common/ 0 extra\n", "line 1: expected"},
      {"# c\n\ncommon/ 0\ncommon/ 1\n", "line 4: common/ is listed twice"},
  };
  for (const TCase& c : cases) {
    TLayerTable t;
    std::string error;
    EXPECT_FALSE(t.Parse(c.text, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " -> " << error;
  }
}

TEST(LayerTable, LongestPrefixWins) {
  const TLayerTable t = Table();
  struct TCase {
    const char* path;
    const char* prefix;  // nullptr: no entry
  } cases[] = {
      {"update/json/TzqJSON.h", "update/json/"},
      {"update/TUpdateThread.h", "update/"},
      {"update/zip/TZipWriter.h", "update/"},
      {"common/Platform.h", "common/"},
      {"Generated.h", "Generated.h"},
      {"updater/x.h", nullptr},
      {"launcher/x.h", nullptr},
      {"Common/Platform.h", nullptr},
  };
  for (const TCase& c : cases) {
    const TLayerEntry* e = t.Find(c.path);
    if (c.prefix == nullptr) {
      EXPECT_EQ(e, nullptr) << c.path;
    } else {
      ASSERT_NE(e, nullptr) << c.path;
      EXPECT_EQ(e->Prefix, c.prefix) << c.path;
    }
  }
}

TEST(LayerTable, FindsOnlyQuotedIncludeDirectives) {
  const auto includes = QuotedIncludes(
      "#include \"a/b.h\"\n"
      "#include <vector>\n"
      "  #  include   \"c.h\"  // trailing\n"
      "// #include \"commented.h\"\n"
      "const char* s = \"#include \\\"string.h\\\"\";\n"
      "#include \"unterminated.h\n"
      "#pragma once\n"
      "#include \"last.h\"");
  ASSERT_EQ(includes.size(), 3u);
  EXPECT_EQ(includes[0].Target, "a/b.h");
  EXPECT_EQ(includes[0].Line, 1);
  EXPECT_EQ(includes[1].Target, "c.h");
  EXPECT_EQ(includes[1].Line, 3);
  EXPECT_EQ(includes[2].Target, "last.h");
  EXPECT_EQ(includes[2].Line, 8);
}

// One include per row: who includes what, and the fault expected (empty:
// none).
struct TIncludeCase {
  const char* file;
  const char* include;
  const char* fault;
};

class IncludeCheck : public ::testing::TestWithParam<TIncludeCase> {};

TEST_P(IncludeCheck, FaultsOnlyUpwardSiblingAndUnknownIncludes) {
  const TIncludeCase& c = GetParam();
  const std::set<std::string> files = {"servers/Frame.h", "tools/pub/Local.h"};
  const TFileExists exists = [&files](const std::string& p) { return files.count(p) != 0; };
  const std::string text = std::string("// header\n#include \"") + c.include + "\"\n";
  const auto faults = CheckIncludes(Table(), c.file, text, exists);
  if (*c.fault == '\0') {
    EXPECT_TRUE(faults.empty()) << faults.front();
  } else {
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NE(faults[0].find(c.fault), std::string::npos) << faults[0];
    EXPECT_EQ(faults[0].rfind(std::string(c.file) + ":2: ", 0), 0u) << faults[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IncludeCheck,
    ::testing::Values(TIncludeCase{"update/TState.cpp", "common/Platform.h", ""},
                      TIncludeCase{"update/TState.cpp", "update/json/TzqJSON.h", ""},
                      TIncludeCase{"update/TState.cpp", "update/TState.h", ""},
                      TIncludeCase{"net/Dns.cpp", "Generated.h", ""},
                      TIncludeCase{"tools/pub/main.cpp", "update/TState.h", ""},
                      TIncludeCase{"tools/pub/main.cpp", "tools/other/Other.h", ""},
                      TIncludeCase{"tools/pub/main.cpp", "Local.h", ""},
                      TIncludeCase{"servers/Frame.cpp", "Frame.h", ""},
                      // An entry's own subfolder of a lower layer may not reach up.
                      TIncludeCase{"update/json/TzqJSON.cpp", "update/TState.h", "above its own layer 1"},
                      TIncludeCase{"common/Socket.cpp", "net/Udp.h", "(layer 1), above its own layer 0"},
                      TIncludeCase{"net/Dns.cpp", "tools/pub/Local.h", "tools/ (layer 6)"},
                      TIncludeCase{"update/TState.cpp", "servers/Frame.h", "a sibling on its own layer 2"},
                      TIncludeCase{"net/Dns.cpp", "update/json/TzqJSON.h", "a sibling on its own layer 1"},
                      TIncludeCase{"update/TState.cpp", "launcher/Settings.h", "in no layer"},
                      // Not beside the includer, so read from the root: no entry.
                      TIncludeCase{"update/TState.cpp", "Frame.h", "in no layer"}));

TEST(LayerTable, FilesOutsideEveryEntryAreNotChecked) {
  const auto faults =
      CheckIncludes(Table(), "scripts/x.cpp", "#include \"tools/a.h\"\n", [](const std::string&) { return false; });
  EXPECT_TRUE(faults.empty());
}

}  // namespace
}  // namespace lg::test
