#include "launcher/TReplacementStep.h"

#include <gtest/gtest.h>

#include <map>

#include "common/Platform.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

// A folder of files in memory, with scripted failures, recording the calls
// in order.
class TFakeHost : public IReplacementHost {
 public:
  bool CopyWholeFile(const std::string& from, const std::string& to) override {
    calls.push_back("copy " + Name(from) + " " + Name(to));
    if (copyFailures > 0) {
      --copyFailures;
      files[to] = "partial";
      return false;
    }
    if (!files.count(from)) return false;
    files[to] = files[from];
    return true;
  }
  bool RenameOver(const std::string& from, const std::string& to) override {
    calls.push_back("rename " + Name(from) + " " + Name(to));
    if (exeLocked) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  void DeleteFile(const std::string& path) override {
    calls.push_back("delete " + Name(path));
    files.erase(path);
  }
  void ClearAttributes(const std::string& path) override { calls.push_back("attrib " + Name(path)); }
  void TerminateProcesses(const std::string& image) override {
    calls.push_back("kill " + image);
    if (killUnlocks) exeLocked = false;
  }
  void Sleep(uint32_t ms) override { slept += ms; }
  bool StartProgram(const std::string& path) override {
    calls.push_back("start " + Name(path));
    startedWith = files.count(path) ? files[path] : "<missing>";
    return true;
  }
  void Log(const std::string& line) override { logs.push_back(line); }

  static std::string Name(const std::string& p) { return p.substr(p.find_last_of('\\') + 1); }

  std::map<std::string, std::string> files;
  std::vector<std::string> calls, logs;
  int copyFailures = 0;
  bool exeLocked = false;
  bool killUnlocks = true;
  uint32_t slept = 0;
  std::string startedWith;
};

class ReplacementStep : public ::testing::Test {
 protected:
  void SetUp() override {
    host.files["G:\\game\\launcher.exe"] = "old";
    host.files["G:\\game\\launcher.update"] = "new";
  }
  TFakeHost host;
  TReplacementStep step{host, "G:\\game\\", "launcher"};
};

TEST_F(ReplacementStep, CopiesThroughATemporarySiblingAndStartsTheNewLauncher) {
  EXPECT_EQ(step.Run(), TReplacementStep::TResult::Replaced);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"copy launcher.update launcher.exe.new",
                                                  "rename launcher.exe.new launcher.exe", "start launcher.exe"}));
  EXPECT_EQ(host.startedWith, "new");
  EXPECT_EQ(host.slept, TReplacementStep::kStartDelayMs);
  EXPECT_EQ(host.files.count("G:\\game\\launcher.exe.new"), 0u);
  EXPECT_TRUE(host.logs.empty());
}

TEST_F(ReplacementStep, RunningOldLauncherIsEndedButNeverDeleted) {
  host.exeLocked = true;
  EXPECT_EQ(step.Run(), TReplacementStep::TResult::Replaced);
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"copy launcher.update launcher.exe.new", "rename launcher.exe.new launcher.exe",
                                      "kill launcher.exe", "attrib launcher.exe",
                                      "rename launcher.exe.new launcher.exe", "start launcher.exe"}));
  EXPECT_EQ(host.startedWith, "new");
}

TEST_F(ReplacementStep, FailedCopyKeepsTheCompanionAndRetries) {
  host.copyFailures = 2;
  EXPECT_EQ(step.Run(), TReplacementStep::TResult::Replaced);
  EXPECT_EQ(step.Attempts(), 3);
  EXPECT_EQ(host.startedWith, "new");
  EXPECT_EQ(host.slept, TReplacementStep::kStartDelayMs + 2 * TReplacementStep::kRetryPauseMs);
  EXPECT_EQ(host.files.count("G:\\game\\launcher.exe.new"), 0u);
}

TEST_F(ReplacementStep, GivesUpAfterTheBoundWithTheOldLauncherWhole) {
  host.exeLocked = true;
  host.killUnlocks = false;
  EXPECT_EQ(step.Run(), TReplacementStep::TResult::GaveUp);
  EXPECT_EQ(step.Attempts(), TReplacementStep::kMaxAttempts);
  int renames = 0;
  for (const std::string& c : host.calls) renames += c.rfind("rename", 0) == 0;
  EXPECT_EQ(renames, 2 * TReplacementStep::kMaxAttempts);
  ASSERT_EQ(host.logs.size(), 1u);
  EXPECT_NE(host.logs[0].find("launcher.update kept"), std::string::npos) << host.logs[0];
  // The old launcher still starts; the companion stays for the next time.
  EXPECT_EQ(host.startedWith, "old");
  EXPECT_EQ(host.files["G:\\game\\launcher.update"], "new");
  EXPECT_EQ(host.files.count("G:\\game\\launcher.exe.new"), 0u);
  EXPECT_EQ(host.calls.back(), "start launcher.exe");
}

TEST(CopyWholeFile, CopiesEveryByteAndReplacesTheTarget) {
  test::TTempDir dir;
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 9));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("a.update"), big));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("a.exe"), std::string(5 * 1024 * 1024, 'x')));
  ASSERT_TRUE(CopyWholeFileTo(dir.File("a.update"), dir.File("a.exe")));
  EXPECT_EQ(test::ReadFileBytes(dir.File("a.exe")), big);
}

TEST(CopyWholeFile, MissingSourceLeavesTheTargetAlone) {
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("a.exe"), "old"));
  EXPECT_FALSE(CopyWholeFileTo(dir.File("none.update"), dir.File("a.exe")));
  EXPECT_EQ(test::ReadFileBytes(dir.File("a.exe")), "old");
}

}  // namespace
}  // namespace lg
