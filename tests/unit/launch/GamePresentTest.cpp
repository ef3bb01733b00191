#include "launch/GamePresent.h"

#include <gtest/gtest.h>

#include "common/Gbk.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

struct TLayout {
  const char* name;
  std::vector<std::string> files;
  std::vector<std::string> folders;
  bool present;
};

void PrintTo(const TLayout& c, std::ostream* os) {
  *os << c.name;
}

class GameFolder : public ::testing::TestWithParam<TLayout> {};

TEST_P(GameFolder, NeedsBothLibrariesAndADataFolder) {
  test::TTempDir dir;
  for (const std::string& f : GetParam().folders) ASSERT_TRUE(plat::ForceDirectories(dir.File(f)));
  for (const std::string& f : GetParam().files) ASSERT_TRUE(test::WriteFileBytes(dir.File(f), "x"));
  EXPECT_EQ(GamePresent(dir.Path()), GetParam().present);
  // The same folder without its trailing separator.
  std::string bare = dir.Path().substr(0, dir.Path().size() - 1);
  EXPECT_EQ(GamePresent(bare), GetParam().present);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, GameFolder,
    ::testing::Values(TLayout{"complete", {"Vantrel.dll", "d3dx9_43.dll"}, {"data"}, true},
                      TLayout{"data ui only", {"Vantrel.dll", "d3dx9_43.dll"}, {"data\\ui"}, true},
                      TLayout{"no data", {"Vantrel.dll", "d3dx9_43.dll"}, {}, false},
                      TLayout{"data is a file", {"Vantrel.dll", "d3dx9_43.dll", "data"}, {}, false},
                      TLayout{"no d3dx", {"Vantrel.dll"}, {"data"}, false},
                      TLayout{"no game library", {"d3dx9_43.dll"}, {"data"}, false}, TLayout{"empty", {}, {}, false}));

TEST(InstallFolder, DefaultIsOnDWhenItExists) {
  std::vector<std::string> asked;
  auto withD = [&](const std::string& p) { return asked.push_back(p), true; };
  EXPECT_EQ(DefaultInstallFolder(withD), Gbk("D:\\Korvath微端\\"));
  EXPECT_EQ(asked, std::vector<std::string>{"D:\\"});
  EXPECT_EQ(DefaultInstallFolder([](const std::string&) { return false; }), Gbk("C:\\Korvath微端\\"));
}

TEST(InstallFolder, UninstallTextGivesItsFolderPart) {
  EXPECT_EQ(UninstallFolder("C:\\Games\\Korvath\\unins000.exe"), "C:\\Games\\Korvath\\");
  EXPECT_EQ(UninstallFolder("\"C:\\Program Files\\K\\unins.exe\" /SILENT"), "C:\\Program Files\\K\\");
  EXPECT_EQ(UninstallFolder("C:\\K\\unins.exe /x/y"), "C:\\K\\");
  EXPECT_EQ(UninstallFolder(Gbk("D:\\Korvath微端\\")), Gbk("D:\\Korvath微端\\"));
  EXPECT_EQ(UninstallFolder("unins.exe"), "");
  EXPECT_EQ(UninstallFolder(""), "");
  // "\x95\x5C" is one GBK character whose trail byte is a backslash.
  EXPECT_EQ(UninstallFolder("C:\\a\x95\x5C"
                            "b"),
            "C:\\");
}

TEST(InstallFolder, FolderTextsCompareWithoutLetterCase) {
  EXPECT_TRUE(SameFolderText("C:\\Games\\K\\", "c:\\gAMES\\k\\"));
  EXPECT_FALSE(SameFolderText("C:\\Games\\K\\", "C:\\Games\\K"));
  EXPECT_FALSE(SameFolderText("C:\\A\\", "C:\\B\\"));
  EXPECT_EQ(WithTrailingSeparator("C:\\x"), "C:\\x\\");
  EXPECT_EQ(WithTrailingSeparator("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(WithTrailingSeparator(""), "");
  EXPECT_EQ(BrowsedFolderText("C:\\"), "C:\\");
  EXPECT_EQ(BrowsedFolderText("D:\\Games"), "D:\\Games\\");
}

}  // namespace
}  // namespace lg
