#include "launcher/Settings.h"

#include <gtest/gtest.h>

#include "common/Deployment.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = LauncherPath();
    SetLauncherPath(dir_.File("launcher.exe"));
  }
  void TearDown() override { SetLauncherPath(saved_); }
  test::TTempDir dir_;
  std::string saved_;
};

TEST_F(Settings, FirstStartReadsDefaultsAndAWriteCreatesTheFile) {
  EXPECT_EQ(SettingsPath(), dir_.File("launcher.ini"));
  EXPECT_EQ(ReadSetting(kKeyLastServer), 0);
  EXPECT_EQ(ReadSetting(kKeyUpdateNow), 0);
  WriteSetting(kKeyLastServer, 77);
  EXPECT_EQ(test::ReadFileBytes(dir_.File("launcher.ini")), "[Main]\r\nlastserver=77\r\n");
  WriteSetting(kKeyUpdateNow, 2);
  EXPECT_EQ(ReadSetting(kKeyLastServer), 77);
  EXPECT_EQ(ReadSetting(kKeyUpdateNow), 2);
}

TEST_F(Settings, UnreadableValueReadsAsZero) {
  ASSERT_TRUE(test::WriteFileBytes(dir_.File("launcher.ini"), "[Main]\r\nlastserver=abc\r\nUpdateNow=\r\n"));
  EXPECT_EQ(ReadSetting(kKeyLastServer), 0);
  EXPECT_EQ(ReadSetting(kKeyUpdateNow), 0);
}

}  // namespace
}  // namespace lg
