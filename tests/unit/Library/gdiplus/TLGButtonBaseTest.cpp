#include "Library/gdiplus/TLGButtonBase.h"

#include <gtest/gtest.h>

#include <tuple>

#include "RecordingParent.h"

namespace lg::skin {
namespace {

using test::TRecordingParent;

// enabled, down, hover -> visual state
using StateCase = std::tuple<bool, bool, bool, int>;
class VisualState : public ::testing::TestWithParam<StateCase> {};

TEST_P(VisualState, DisabledBeatsDownBeatsHover) {
  const auto [enabled, down, hover, expected] = GetParam();
  EXPECT_EQ(ButtonVisualState(enabled, down, hover), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, VisualState,
    ::testing::Values(StateCase{true, false, false, kStateNormal}, StateCase{true, false, true, kStateActive},
                      StateCase{true, true, false, kStateDown}, StateCase{true, true, true, kStateDown},
                      StateCase{false, false, false, kStateDisable}, StateCase{false, false, true, kStateDisable},
                      StateCase{false, true, true, kStateDisable}));

TEST(ButtonDrawState, MissingImageFallsBackToNormal) {
  const bool all[4] = {true, true, true, true};
  const bool noDisable[4] = {true, true, true, false};
  const bool noDown[4] = {true, true, false, true};
  const bool none[4] = {false, false, false, false};
  for (int s = 0; s < 4; ++s) EXPECT_EQ(ButtonDrawState(s, all), s);
  EXPECT_EQ(ButtonDrawState(kStateDisable, noDisable), kStateNormal);
  EXPECT_EQ(ButtonDrawState(kStateDown, noDown), kStateNormal);
  EXPECT_EQ(ButtonDrawState(kStateActive, none), kStateNormal);
  EXPECT_EQ(ButtonDrawState(7, all), kStateNormal);
}

TEST(ButtonDrawState, TextMovesOnlyWhileTheDownImageIsDrawn) {
  const bool noDown[4] = {true, true, false, true};
  EXPECT_EQ(ButtonTextShift(ButtonDrawState(kStateDown, noDown)), 0);
  const bool all[4] = {true, true, true, true};
  EXPECT_EQ(ButtonTextShift(ButtonDrawState(kStateDown, all)), 1);
  EXPECT_EQ(ButtonTextShift(kStateActive), 0);
}

// Counts the glyph loads and answers whether one "loaded".
class CountingButton : public test::TDrawless<TLGButtonBase> {
 public:
  using TDrawless::TDrawless;
  bool loads = false;
  int calls = 0;

 protected:
  bool LoadGlyph(const std::string&) override {
    ++calls;
    return loads;
  }
};

TEST(TLGButtonBase, GlyphNameStoredEvenWhenNoFileLoadsRepaintOnlyOnLoad) {
  TRecordingParent parent;
  CountingButton b(&parent);
  b.PaintTo(nullptr);
  b.SetButtonGlyph("a.png");
  EXPECT_EQ(b.ButtonGlyph(), "a.png");
  EXPECT_EQ(b.calls, 1);
  EXPECT_TRUE(parent.posts.empty());
  b.SetButtonGlyph("a.png");  // same name: not loaded again
  EXPECT_EQ(b.calls, 1);
  b.loads = true;
  b.SetButtonGlyph("b.png");
  EXPECT_EQ(b.calls, 2);
  EXPECT_EQ(parent.posts.size(), 1u);
}

TEST(TLGButtonBase, EveryStateChangeRequestsARepaint) {
  TRecordingParent parent;
  test::TDrawless<TLGButtonBase> b(&parent);
  b.PaintTo(nullptr);
  int entered = 0;
  b.OnMouseEnter = [&](TLGControl*) { ++entered; };
  b.MouseEnter();
  b.MouseDown(TMouseButton::Left, 1, 1);
  b.MouseUp(TMouseButton::Left, 1, 1);
  b.MouseLeave();
  b.SetWideText(u"开始");
  b.SetWideText(u"开始");
  EXPECT_EQ(entered, 1);  // the inherited handling still runs the event
  EXPECT_EQ(parent.posts.size(), 5u);
  EXPECT_EQ(b.WideText(), u"开始");
}

}  // namespace
}  // namespace lg::skin
