#include "launcher/StartArguments.h"

#include <gtest/gtest.h>

#include <set>

namespace lg {
namespace {

using Items = std::vector<std::string>;

struct TWebCase {
  const char* name;
  Items items;
  bool found;
  std::string address;
};

void PrintTo(const TWebCase& c, std::ostream* os) {
  *os << c.name;
}

class WebAddress : public ::testing::TestWithParam<TWebCase> {};

TEST_P(WebAddress, TakesTheTextFiveCharactersAfterTheMarker) {
  std::string address = "untouched";
  EXPECT_EQ(FindWebAddress(GetParam().items, address), GetParam().found);
  EXPECT_EQ(address, GetParam().found ? GetParam().address : "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Items, WebAddress,
    ::testing::Values(
        TWebCase{"plain", {"C:\\g\\launcher.exe", "/web:http://a.example/reg?x=1"}, true, "http://a.example/reg?x=1"},
        TWebCase{"no marker", {"C:\\g\\launcher.exe", "old.exe"}, false, ""},
        TWebCase{"marker inside an item", {"x", "--/web=http://b/"}, true, "http://b/"},
        TWebCase{"any separator character is skipped", {"x", "/web|http://c/"}, true, "http://c/"},
        TWebCase{"first item wins", {"x", "/web:first", "/web:second"}, true, "first"},
        TWebCase{"marker alone", {"x", "/web"}, true, ""}, TWebCase{"marker and colon only", {"x", "/web:"}, true, ""},
        TWebCase{"program path counts", {"D:\\web\\/web:zz"}, true, "zz"},
        TWebCase{"letter case matters", {"x", "/WEB:http://d/"}, false, ""}, TWebCase{"no items", {}, false, ""}));

TEST(StartArguments, NamesComeFromTheFirstTwoItems) {
  TStartArguments a = ReadStartArguments({"C:\\Games\\My Game\\launcher.exe", "D:\\Downloads\\setup.exe", "z"});
  EXPECT_EQ(a.ExeName, "launcher.exe");
  EXPECT_EQ(a.ExeExt, ".exe");
  EXPECT_EQ(a.Param1Name, "setup.exe");
  EXPECT_EQ(a.Param1Path, "D:\\Downloads\\setup.exe");

  TStartArguments b = ReadStartArguments({"launcher.update"});
  EXPECT_EQ(b.ExeName, "launcher.update");
  EXPECT_EQ(b.ExeExt, ".update");
  EXPECT_EQ(b.Param1Name, "");
  EXPECT_EQ(b.Param1Path, "");

  TStartArguments c = ReadStartArguments({"C:/g/noext", "name.only"});
  EXPECT_EQ(c.ExeName, "noext");
  EXPECT_EQ(c.ExeExt, "");
  EXPECT_EQ(c.Param1Name, "name.only");

  EXPECT_EQ(ExtensionOf("C:\\a.b\\file"), "");
  EXPECT_EQ(ExtensionOf("x.tar.gz"), ".gz");
}

TEST(StartArguments, ReplacementNameIgnoresLetterCase) {
  for (const char* ext : {".update", ".UPDATE", ".Update"}) EXPECT_TRUE(IsReplacementName(ext)) << ext;
  for (const char* ext : {".exe", ".updates", "update", "", ".updat"}) EXPECT_FALSE(IsReplacementName(ext)) << ext;
}

// The current folder of an installed copy is the installing copy's, not
// the folder of the file it names.
std::string InCurrentFolder(const std::string& path) {
  if (path.size() > 1 && path[1] == ':') return path;
  return "C:\\Elsewhere\\" + path;
}

struct TLeftoverCase {
  const char* name;
  Items items;
  std::string expected;
};

void PrintTo(const TLeftoverCase& c, std::ostream* os) {
  *os << c.name;
}

class LeftoverName : public ::testing::TestWithParam<TLeftoverCase> {};

TEST_P(LeftoverName, IsTheFullPathOfADownloadedCopyOnly) {
  const TStartArguments args = ReadStartArguments(GetParam().items);
  EXPECT_EQ(LeftoverPath(args, "C:\\Game\\launcher.exe", InCurrentFolder), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, LeftoverName,
    ::testing::Values(
        TLeftoverCase{"full path kept whole",
                      {"C:\\Game\\launcher.exe", "D:\\My Downloads\\launcher.exe"},
                      "D:\\My Downloads\\launcher.exe"},
        TLeftoverCase{"bare name resolved against the current folder",
                      {"C:\\Game\\launcher.exe", "launcher.exe"},
                      "C:\\Elsewhere\\launcher.exe"},
        TLeftoverCase{
            "name compared ignoring case", {"C:\\Game\\Launcher.EXE", "D:\\dl\\LAUNCHER.exe"}, "D:\\dl\\LAUNCHER.exe"},
        TLeftoverCase{"another file is the user's", {"C:\\Game\\launcher.exe", "D:\\Docs\\notes.txt"}, ""},
        TLeftoverCase{"never the launcher's own file", {"C:\\Game\\launcher.exe", "c:\\game\\LAUNCHER.EXE"}, ""},
        TLeftoverCase{"no argument", {"C:\\Game\\launcher.exe"}, ""},
        TLeftoverCase{"empty argument", {"C:\\Game\\launcher.exe", ""}, ""}));

TEST(LeftoverName, OwnFileReachedThroughTheCurrentFolderIsKept) {
  // Started from its own folder with its own bare name: resolving gives
  // its own path, which must not be deleted.
  const TStartArguments args = ReadStartArguments({"C:\\Elsewhere\\launcher.exe", "launcher.exe"});
  EXPECT_EQ(LeftoverPath(args, "C:\\Elsewhere\\launcher.exe", InCurrentFolder), "");
}

class Leftover : public ::testing::Test {
 protected:
  TLeftoverFiles Files() {
    return {[this](const std::string& p) {
              ++existsCalls;
              return present.count(p) != 0;
            },
            [this](const std::string& p) {
              ++deletes;
              if (deletable) present.erase(p);
              return deletable;
            },
            [this](uint32_t ms) { slept += ms; }};
  }
  std::set<std::string> present;
  bool deletable = true;
  int deletes = 0;
  int existsCalls = 0;
  uint32_t slept = 0;
};

TEST_F(Leftover, MissingFileCausesNoWait) {
  EXPECT_TRUE(DeleteLeftover("gone.exe", Files()));
  EXPECT_EQ(deletes, 0);
  EXPECT_EQ(slept, 0u);
}

TEST_F(Leftover, PresentFileIsDeletedWithOnePause) {
  present.insert("setup.exe");
  EXPECT_TRUE(DeleteLeftover("setup.exe", Files()));
  EXPECT_EQ(deletes, 1);
  EXPECT_EQ(slept, kLeftoverPauseMs);
  EXPECT_TRUE(present.empty());
}

TEST_F(Leftover, UndeletableFileEndsTheWaitAfterTheBound) {
  present.insert("locked.exe");
  deletable = false;
  EXPECT_FALSE(DeleteLeftover("locked.exe", Files()));
  EXPECT_EQ(deletes, kLeftoverMaxTries);
  EXPECT_EQ(slept, kLeftoverMaxTries * kLeftoverPauseMs);
}

}  // namespace
}  // namespace lg
