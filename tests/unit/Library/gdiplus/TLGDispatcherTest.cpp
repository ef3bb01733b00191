#include "Library/gdiplus/TLGDispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Library/gdiplus/TLGButtonBase.h"
#include "RecordingParent.h"

namespace lg::skin {
namespace {

using test::TPlainControl;
using test::TRecordingParent;

// Two overlapping controls: `bottom` (0,0,100,100) under `top` (50,50,100,100),
// each logging its events as "<name>:<event>".
class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    bottom.SetBounds(0, 0, 100, 100);
    top.SetBounds(50, 50, 100, 100);
    Watch(bottom, "bottom");
    Watch(top, "top");
    d.Add(&bottom);
    d.Add(&top);
  }
  void Watch(TLGControl& c, const std::string& name) {
    c.OnMouseEnter = [this, name](TLGControl*) { log.push_back(name + ":enter"); };
    c.OnMouseLeave = [this, name](TLGControl*) { log.push_back(name + ":leave"); };
    c.OnMouseDown = [this, name](TLGControl*, TMouseButton b, int x, int y) {
      log.push_back(name + ":down" + Button(b) + "@" + std::to_string(x) + "," + std::to_string(y));
    };
    c.OnMouseUp = [this, name](TLGControl*, TMouseButton b, int, int) { log.push_back(name + ":up" + Button(b)); };
    c.OnClick = [this, name](TLGControl*) { log.push_back(name + ":click"); };
  }
  static std::string Button(TMouseButton b) {
    return b == TMouseButton::Left ? "L" : b == TMouseButton::Right ? "R" : "M";
  }
  using Log = std::vector<std::string>;

  TRecordingParent parent;
  TPlainControl bottom{&parent}, top{&parent};
  TLGDispatcher d;
  Log log;
};

TEST_F(Dispatch, HitTestTakesTheTopMostVisibleControl) {
  EXPECT_EQ(d.ControlAt(10, 10, false), &bottom);
  EXPECT_EQ(d.ControlAt(60, 60, false), &top);
  EXPECT_EQ(d.ControlAt(200, 200, false), nullptr);
  top.SetVisible(false);
  EXPECT_EQ(d.ControlAt(60, 60, false), &bottom);
  top.SetVisible(true);
  top.SetEnabled(false);
  EXPECT_EQ(d.ControlAt(60, 60, false), &bottom);
  EXPECT_EQ(d.ControlAt(60, 60, true), &top);
}

TEST_F(Dispatch, EnterAndLeaveFollowThePointer) {
  d.MouseMove(10, 10);
  d.MouseMove(20, 20);  // same control: no new events
  d.MouseMove(60, 60);
  d.MouseMove(300, 300);
  EXPECT_EQ(log, (Log{"bottom:enter", "bottom:leave", "top:enter", "top:leave"}));
  EXPECT_EQ(d.Hover(), nullptr);
}

TEST_F(Dispatch, PointerTrackingSeesDisabledControlsPressesDoNot) {
  top.SetEnabled(false);
  d.MouseMove(60, 60);
  EXPECT_EQ(d.Hover(), &top);
  EXPECT_EQ(d.MouseDown(TMouseButton::Left, 60, 60), &bottom);
  EXPECT_EQ(log, (Log{"top:enter", "bottom:downL@60,60"}));
}

TEST_F(Dispatch, PressAndReleaseOverTheSameControlClicks) {
  d.MouseMove(10, 10);
  EXPECT_EQ(d.MouseDown(TMouseButton::Left, 10, 10), &bottom);
  EXPECT_EQ(d.Capture(), &bottom);
  EXPECT_TRUE(d.MouseUp(TMouseButton::Left, 12, 12));
  EXPECT_EQ(d.Capture(), nullptr);
  EXPECT_EQ(log, (Log{"bottom:enter", "bottom:downL@10,10", "bottom:upL", "bottom:click"}));
}

TEST_F(Dispatch, MouseCoordinatesAreTheControlsOwn) {
  d.MouseDown(TMouseButton::Left, 70, 80);
  EXPECT_EQ(log, (Log{"top:downL@20,30"}));
}

TEST_F(Dispatch, ReleaseOutsideTheCapturedControlDoesNotClick) {
  d.MouseDown(TMouseButton::Left, 10, 10);
  // Dragged onto the other control: the release still goes to the captured one.
  d.MouseMove(120, 120);
  d.MouseUp(TMouseButton::Left, 120, 120);
  EXPECT_EQ(log, (Log{"bottom:downL@10,10", "bottom:upL", "top:enter"}));
}

TEST_F(Dispatch, CapturedControlIsTheOnlyOneEnteredWhileHeld) {
  d.MouseMove(10, 10);
  d.MouseDown(TMouseButton::Left, 10, 10);
  d.MouseMove(120, 120);  // outside bottom: leave, top not entered
  d.MouseMove(10, 10);    // back: enter again
  EXPECT_EQ(log, (Log{"bottom:enter", "bottom:downL@10,10", "bottom:leave", "bottom:enter"}));
}

TEST_F(Dispatch, RightButtonNeitherCapturesNorClicks) {
  d.MouseDown(TMouseButton::Right, 10, 10);
  EXPECT_EQ(d.Capture(), nullptr);
  d.MouseUp(TMouseButton::Right, 10, 10);
  EXPECT_EQ(log, (Log{"bottom:downR@10,10", "bottom:upR", "bottom:enter"}));
}

TEST_F(Dispatch, NothingUnderThePointerLeavesThePressToTheWindow) {
  EXPECT_EQ(d.MouseDown(TMouseButton::Left, 500, 500), nullptr);
  EXPECT_FALSE(d.MouseUp(TMouseButton::Left, 500, 500));
  EXPECT_TRUE(log.empty());
}

TEST_F(Dispatch, ControlHiddenByItsOwnReleaseIsNotClicked) {
  bottom.OnMouseUp = [](TLGControl* c, TMouseButton, int, int) { c->SetVisible(false); };
  d.MouseDown(TMouseButton::Left, 10, 10);
  d.MouseUp(TMouseButton::Left, 10, 10);
  EXPECT_EQ(log, (Log{"bottom:downL@10,10"}));
}

TEST_F(Dispatch, RemovedControlIsForgotten) {
  d.MouseMove(60, 60);
  d.MouseDown(TMouseButton::Left, 60, 60);
  d.Remove(&top);
  EXPECT_EQ(d.Hover(), nullptr);
  EXPECT_EQ(d.Capture(), nullptr);
  EXPECT_EQ(d.Children().size(), 1u);
  d.MouseUp(TMouseButton::Left, 60, 60);  // goes to what is there now
  EXPECT_EQ(log.back(), "bottom:enter");
  EXPECT_EQ(log[log.size() - 2], "bottom:upL");
}

TEST_F(Dispatch, AddingTwiceKeepsOneEntryInChildOrder) {
  d.Add(&bottom);
  d.Add(nullptr);
  ASSERT_EQ(d.Children().size(), 2u);
  EXPECT_EQ(d.Children()[0], &bottom);
  EXPECT_EQ(d.Children()[1], &top);
}

TEST_F(Dispatch, LeavingTheWindowLeavesTheHoveredControl) {
  d.MouseMove(10, 10);
  d.MouseLeaveWindow();
  EXPECT_EQ(log, (Log{"bottom:enter", "bottom:leave"}));
}

TEST(DispatchLifetime, ClickHandlerMayDestroyTheDispatcher) {
  // Closing the window from a click frees its dispatcher inside the click
  // (ASan reports any touch after that).
  TRecordingParent parent;
  TPlainControl c(&parent);
  c.SetBounds(0, 0, 10, 10);
  auto* d = new TLGDispatcher;
  d->Add(&c);
  int clicks = 0;
  c.OnClick = [&](TLGControl*) {
    ++clicks;
    delete d;
  };
  d->MouseDown(TMouseButton::Left, 5, 5);
  EXPECT_TRUE(d->MouseUp(TMouseButton::Left, 5, 5));
  EXPECT_EQ(clicks, 1);
}

TEST(DispatchButton, ButtonFlagsFollowTheMouseAndLostCaptureReleases) {
  TRecordingParent parent;
  test::TDrawless<TLGButtonBase> b(&parent);
  b.SetBounds(0, 0, 60, 20);
  TLGDispatcher d;
  d.Add(&b);
  d.MouseMove(5, 5);
  EXPECT_TRUE(b.Hovered());
  EXPECT_EQ(b.VisualState(), kStateActive);
  d.MouseDown(TMouseButton::Left, 5, 5);
  EXPECT_TRUE(b.Down());
  EXPECT_EQ(b.VisualState(), kStateDown);
  d.CaptureLost();
  EXPECT_FALSE(b.Down());
  EXPECT_EQ(d.Capture(), nullptr);
  d.MouseDown(TMouseButton::Right, 5, 5);
  EXPECT_FALSE(b.Down());  // only the left button presses a button
  d.MouseMove(100, 100);
  EXPECT_FALSE(b.Hovered());
  EXPECT_EQ(b.VisualState(), kStateNormal);
}

}  // namespace
}  // namespace lg::skin
