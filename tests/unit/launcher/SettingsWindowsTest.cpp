// Files written by the system's profile functions read the same through our
// code, and the reverse: installations keep their existing launcher.ini.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/ProfileFile.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

TEST(SettingsWindows, SystemWrittenFileReadsTheSame) {
  test::TTempDir dir;
  const std::string ini = dir.File("launcher.ini");
  ASSERT_TRUE(WritePrivateProfileStringA("Main", "lastserver", "4021", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Other", "k", "v", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Main", "UpdateNow", "2", ini.c_str()));
  EXPECT_EQ(ReadProfileInt(ini, "Main", "lastserver", 0), 4021);
  EXPECT_EQ(ReadProfileInt(ini, "Main", "UpdateNow", 0), 2);
}

TEST(SettingsWindows, OurFileReadsTheSameThroughTheSystem) {
  test::TTempDir dir;
  const std::string ini = dir.File("launcher.ini");
  ASSERT_TRUE(test::WriteFileBytes(ini, "; kept\r\n[Other]\r\nx=1\r\n"));
  ASSERT_TRUE(WriteProfileInt(ini, "Main", "lastserver", 55));
  ASSERT_TRUE(WriteProfileInt(ini, "Main", "UpdateNow", 1));
  ASSERT_TRUE(WriteProfileInt(ini, "Main", "lastserver", 56));
  EXPECT_EQ(GetPrivateProfileIntA("Main", "lastserver", -1, ini.c_str()), 56);
  EXPECT_EQ(GetPrivateProfileIntA("Main", "UpdateNow", -1, ini.c_str()), 1);
  EXPECT_EQ(GetPrivateProfileIntA("Other", "x", -1, ini.c_str()), 1);
}

}  // namespace
}  // namespace lg
