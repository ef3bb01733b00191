#include "ui/TUpdateDisplay.h"

#include <gtest/gtest.h>

#include "common/Gbk.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

class TFakeWindow : public IUpdateDisplayHost {
 public:
  uint8_t StartWorker(int pass, const std::string& state, const std::string& manifest,
                      const std::string& base) override {
    calls.push_back("start " + std::to_string(pass) + " " + state + " " + manifest + " " + base);
    return updateNow;
  }
  void DestroyWorker() override { calls.push_back("destroy"); }
  void SetUpdatingMode() override { calls.push_back("updating"); }
  void EnterReadyMode() override { calls.push_back("ready"); }
  void ShowSkipLabel() override { calls.push_back("skip"); }
  void ShowCloseButton() override { calls.push_back("close button"); }
  void TerminateProcesses(const std::string& image) override { calls.push_back("kill " + image); }
  void Sleep(uint32_t ms) override { calls.push_back("sleep " + std::to_string(ms)); }
  void RunProcess(const std::string& path) override { calls.push_back("run " + path); }
  void EndApplication() override { calls.push_back("end"); }

  uint8_t updateNow = 0;
  std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

class UpdateDisplay : public ::testing::Test {
 protected:
  void Status(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::copy(text.begin(), text.end(), copy);
    copy[text.size()] = '\0';
    EXPECT_TRUE(
        display.OnMessage(WM_UPDATE_STATUS, reinterpret_cast<uintptr_t>(copy), static_cast<intptr_t>(text.size())));
  }
  std::u16string Line() {
    auto view = display.Tick(false);
    EXPECT_TRUE(view && view->StatusLine);
    return view && view->StatusLine ? *view->StatusLine : u"<none>";
  }

  test::TTempDir dir;
  TFakeWindow window;
  TUpdateDisplay display{window, dir.Path(), "launcher", "http://cdn/c", "http://cdn/l"};
};

struct TSpeedCase {
  uint64_t bytes;
  int64_t ms;
  uint64_t kb;
};

class SpeedText : public ::testing::TestWithParam<TSpeedCase> {};

TEST_P(SpeedText, RoundsHalvesToEven) {
  EXPECT_EQ(FormSpeedText(GetParam().bytes, GetParam().ms), Gbk("速度 ") + std::to_string(GetParam().kb) + " KB/s")
      << GetParam().bytes << " / " << GetParam().ms;
}

INSTANTIATE_TEST_SUITE_P(Rates, SpeedText,
                         ::testing::Values(TSpeedCase{1048576, 1000, 1024},  // exactly 1 MiB per second
                                           TSpeedCase{512, 1000, 0},         // 0.5 -> 0
                                           TSpeedCase{513, 1000, 1},         // just above a half
                                           TSpeedCase{1536, 1000, 2},        // 1.5 -> 2
                                           TSpeedCase{2560, 1000, 2},        // 2.5 -> 2
                                           TSpeedCase{3584, 1000, 4},        // 3.5 -> 4
                                           TSpeedCase{3583, 1000, 3},        // just below a half
                                           TSpeedCase{0, 5, 0}, TSpeedCase{1024, 1, 1000},
                                           TSpeedCase{4294967295u, 1, 4194303999u},  // 4194303999.02
                                           TSpeedCase{uint64_t{1} << 62, 1,
                                                      4503599627370496000u}));  // beyond 64-bit products

TEST(StatusLine, PadsToThirtyBytesAndKeepsLongerTextsWhole) {
  EXPECT_EQ(FormStatusLine("abc", "s"), "abc" + std::string(27, ' ') + " s");
  EXPECT_EQ(FormStatusLine("", ""), std::string(31, ' '));
  const std::string longText(45, 'x');
  EXPECT_EQ(FormStatusLine(longText, "z"), longText + " z");
  const std::string exact(30, 'y');
  EXPECT_EQ(FormStatusLine(exact, "q"), exact + " q");
  // GBK characters count as two bytes each, as the formatting routine counts.
  const std::string chinese = Gbk("正在更新");
  EXPECT_EQ(FormStatusLine(chinese, ""), chinese + std::string(22, ' ') + " ");
  EXPECT_EQ(VersionLine(), Gbk("版本号 : 1.0.0"));
}

TEST_F(UpdateDisplay, SpeedMessageWithoutElapsedTimeChangesNothing) {
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_SPEED, 1048576, 1000));
  EXPECT_EQ(display.SpeedText(), Gbk("速度 1024 KB/s"));
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_SPEED, 99999, 0));
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_SPEED, 99999, -5));
  EXPECT_EQ(display.SpeedText(), Gbk("速度 1024 KB/s"));
}

TEST_F(UpdateDisplay, TickShowsStoredValuesAndLongStatusWhole) {
  auto first = display.Tick(false);
  ASSERT_TRUE(first);
  EXPECT_FALSE(first->StatusLine) << "the version line stays until a text arrives";
  const std::string longStatus = Gbk("正在下载 data\\ui\\very-long-file-name.dat");
  ASSERT_GT(longStatus.size(), 30u);
  Status(longStatus);
  display.OnMessage(WM_UPDATE_SPEED, 1048576, 1000);
  display.OnMessage(WM_UPDATE_PROGRESS, 3, 10);
  display.OnMessage(WM_UPDATE_FILEPROGRESS, 40, 100);
  EXPECT_EQ(Line(), plat::Utf16FromGbk(longStatus + " " + Gbk("速度 1024 KB/s")));
  auto view = display.Tick(false);
  EXPECT_EQ(view->TotalPos, 3);
  EXPECT_EQ(view->TotalMax, 10);
  EXPECT_EQ(view->CurPos, 40);
  EXPECT_EQ(view->CurMax, 100);
}

TEST_F(UpdateDisplay, MinimisedWindowStoresAndShowsAfterRestoring) {
  display.OnMessage(WM_UPDATE_PROGRESS, 7, 9);
  Status("hidden");
  EXPECT_FALSE(display.Tick(true));
  display.OnMessage(WM_UPDATE_PROGRESS, 8, 9);
  auto view = display.Tick(false);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->TotalPos, 8);
  EXPECT_EQ(*view->StatusLine, plat::Utf16FromGbk(FormStatusLine("hidden", "")));
}

TEST_F(UpdateDisplay, OtherMessagesAreNotOurs) {
  EXPECT_FALSE(display.OnMessage(kWmUserBase + 1, 0, 0));
  EXPECT_FALSE(display.OnMessage(kWmUserBase + 105, 0, 0));
  EXPECT_TRUE(window.calls.empty());
}

TEST_F(UpdateDisplay, PassZeroThenPassOneThenReady) {
  display.StartUpdatePass();
  EXPECT_EQ(window.calls, Calls{"start 0 data\\update0.local update.json http://cdn/c"});
  EXPECT_FALSE(display.CloseOnDone());
  window.calls.clear();
  // Pass 0's end starts pass 1 whatever its result.
  display.OnMessage(WM_UPDATE_DONE, 0, 0);
  EXPECT_EQ(window.calls, (Calls{"destroy", "updating", "start 1 data\\update1.local updateL.json http://cdn/l"}));
  EXPECT_EQ(display.UpdatePass(), 1);
  window.calls.clear();
  display.OnMessage(WM_UPDATE_DONE, 1, 1);  // no companion: no hand-over
  EXPECT_EQ(window.calls, (Calls{"destroy", "ready"}));
  EXPECT_EQ(display.StatusText(), "100%");
  EXPECT_EQ(display.SpeedText(), "");
  auto view = display.Tick(false);
  EXPECT_EQ(view->TotalPos, 100);
  EXPECT_EQ(view->TotalMax, 100);
  EXPECT_EQ(view->CurPos, 100);
  EXPECT_EQ(view->CurMax, 100);
}

TEST_F(UpdateDisplay, PassZeroWithResultOneAlsoStartsPassOne) {
  display.OnMessage(WM_UPDATE_DONE, 1, 0);
  EXPECT_EQ(window.calls, (Calls{"destroy", "updating", "start 1 data\\update1.local updateL.json http://cdn/l"}));
}

TEST_F(UpdateDisplay, UpdateNowTwoShowsTheCloseButtonAtTheEnd) {
  window.updateNow = 2;
  display.StartUpdatePass();
  EXPECT_EQ(window.calls, (Calls{"start 0 data\\update0.local update.json http://cdn/c", "updating"}));
  EXPECT_TRUE(display.CloseOnDone());
  window.calls.clear();
  window.updateNow = 1;
  display.OnMessage(WM_UPDATE_DONE, 0, 0);
  EXPECT_EQ(window.calls, (Calls{"destroy", "close button", "updating",
                                 "start 1 data\\update1.local updateL.json http://cdn/l", "updating"}));
  EXPECT_FALSE(display.CloseOnDone());
}

TEST_F(UpdateDisplay, ManifestFailureShowsTheSkipLabel) {
  display.OnMessage(WM_UPDATE_ERROR, 100, 0);
  EXPECT_EQ(window.calls, Calls{"skip"});
}

TEST_F(UpdateDisplay, UnknownPassNumberOnlyDestroysTheWorker) {
  display.OnMessage(WM_UPDATE_DONE, 1, 7);
  EXPECT_EQ(window.calls, Calls{"destroy"});
}

TEST_F(UpdateDisplay, DifferentCompanionHandsOver) {
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher.exe"), "old launcher"));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher.update"), "new launcher"));
  EXPECT_TRUE(display.NewLauncherWaiting());
  display.OnMessage(WM_UPDATE_DONE, 1, 1);
  EXPECT_EQ(window.calls,
            (Calls{"destroy", "kill launcher.update", "sleep 200", "run " + dir.File("launcher.update"), "end"}));
  // The window is going: later messages are dropped.
  EXPECT_TRUE(display.Closing());
}

TEST_F(UpdateDisplay, IdenticalOrMissingCompanionEntersReadyMode) {
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher.exe"), "same bytes"));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher.update"), "same bytes"));
  display.OnMessage(WM_UPDATE_DONE, 1, 1);
  EXPECT_EQ(window.calls, (Calls{"destroy", "ready"}));
  ASSERT_TRUE(plat::DeleteFile(dir.File("launcher.exe")));
  EXPECT_FALSE(display.NewLauncherWaiting());
}

TEST_F(UpdateDisplay, ResultZeroNeverHandsOver) {
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher.exe"), "a"));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("launcher.update"), "b"));
  display.OnMessage(WM_UPDATE_DONE, 0, 1);
  EXPECT_EQ(window.calls, (Calls{"destroy", "ready"}));
}

TEST_F(UpdateDisplay, MessagesWhileClosingAreDroppedButTextsFreed) {
  Status("before");
  display.BeginClosing();
  Status("after");  // the block is freed (the leak checker sees it otherwise)
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_DONE, 1, 0));
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_ERROR, 100, 0));
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_PROGRESS, 5, 6));
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_SPEED, 1024, 1));
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(display.StatusText(), "before");
  EXPECT_EQ(display.Tick(false)->TotalPos, 0);
  EXPECT_EQ(display.SpeedText(), "");
  // A null block is no text.
  EXPECT_TRUE(display.OnMessage(WM_UPDATE_STATUS, 0, 0));
}

}  // namespace
}  // namespace lg
