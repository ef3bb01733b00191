#include "Library/gdiplus/TLGControl.h"

#include <gtest/gtest.h>

#include "Library/gdiplus/TLGButtonBase.h"
#include "Library/gdiplus/TLGLabelBase.h"
#include "RecordingParent.h"
#include "tests/support/TestSupport.h"

namespace lg::skin {
namespace {

using test::TPlainControl;
using test::TRecordingParent;

TEST(TLGControl, RepaintBeforeFirstPaintToIsThePlatformRepaint) {
  TRecordingParent parent;
  TPlainControl c(&parent);
  c.Repaint();
  EXPECT_EQ(parent.invalidations, 1);
  EXPECT_TRUE(parent.posts.empty());
  EXPECT_FALSE(c.ParentPainted());
}

TEST(TLGControl, PaintToSwitchesRepaintsToPostedRequests) {
  TRecordingParent parent;
  TPlainControl c(&parent);
  c.PaintTo(nullptr);
  EXPECT_TRUE(c.ParentPainted());
  EXPECT_EQ(c.draws, 1);
  c.Repaint();
  ASSERT_EQ(parent.posts.size(), 1u);
  EXPECT_EQ(parent.posts[0].message, 2024u);
  EXPECT_EQ(parent.posts[0].wParam, reinterpret_cast<uintptr_t>(&c));
  EXPECT_EQ(parent.posts[0].lParam, 0);
  EXPECT_EQ(parent.invalidations, 0);
}

TEST(TLGControl, ChangesRequestOneRepaintEachAndSameValuesNone) {
  TRecordingParent parent;
  TPlainControl c(&parent);
  c.PaintTo(nullptr);
  c.SetBounds(1, 2, 3, 4);
  c.SetBounds(1, 2, 3, 4);
  c.SetVisible(false);
  c.SetVisible(false);
  c.SetEnabled(false);
  c.SetEnabled(false);
  c.SetAlignment(TAlignment::Center);
  c.SetAlignment(TAlignment::Center);
  EXPECT_EQ(parent.posts.size(), 4u);
  EXPECT_EQ(c.Left(), 1);
  EXPECT_EQ(c.Top(), 2);
  EXPECT_EQ(c.Width(), 3);
  EXPECT_EQ(c.Height(), 4);
}

TEST(TLGControl, CaptionChangePostsOnlyOnceParentPainted) {
  TRecordingParent parent;
  TPlainControl c(&parent);
  c.SetCaption("a");
  EXPECT_TRUE(parent.posts.empty());
  EXPECT_EQ(parent.invalidations, 0);
  c.PaintTo(nullptr);
  c.SetCaption("b");
  c.SetCaption("b");
  EXPECT_EQ(parent.posts.size(), 1u);
  EXPECT_EQ(c.Caption(), "b");
}

TEST(TLGControl, ButtonCaptionChangeDoesNothing) {
  TRecordingParent parent;
  test::TDrawless<TLGButtonBase> b(&parent);
  b.PaintTo(nullptr);
  b.SetCaption("x");
  EXPECT_TRUE(parent.posts.empty());
  EXPECT_EQ(b.Caption(), "x");
}

TEST(TLGControl, CreationTouchesNoParent) {
  // The window may create its controls before it has a window handle.
  TRecordingParent parent;
  test::TDrawless<TLGButtonBase> b(&parent);
  EXPECT_EQ(parent.invalidations, 0);
  EXPECT_TRUE(parent.posts.empty());
  EXPECT_EQ(b.Width(), 60);
  EXPECT_EQ(b.Height(), 20);
}

TEST(TLGControl, ContainsIsHalfOpen) {
  TPlainControl c;
  c.SetBounds(10, 20, 30, 40);
  EXPECT_TRUE(c.Contains(10, 20));
  EXPECT_TRUE(c.Contains(39, 59));
  EXPECT_FALSE(c.Contains(40, 20));
  EXPECT_FALSE(c.Contains(10, 60));
  EXPECT_FALSE(c.Contains(9, 30));
}

struct ColorCase {
  uint32_t stored;
  uint32_t argb;
};
class FontColor : public ::testing::TestWithParam<ColorCase> {};

TEST_P(FontColor, BytesSwapToArgbUnconverted) {
  EXPECT_EQ(ArgbFromFontColor(GetParam().stored), GetParam().argb);
}

INSTANTIATE_TEST_SUITE_P(Rules, FontColor,
                         ::testing::Values(ColorCase{0x000000, 0xFF000000}, ColorCase{0xFFFFFF, 0xFFFFFFFF},
                                           // 4227327: red 255, green 128, blue 64
                                           ColorCase{4227327, 0xFFFF8040}, ColorCase{0x0000FF, 0xFFFF0000},
                                           ColorCase{0xFF0000, 0xFF0000FF},
                                           // a system colour (window text): its bytes, not the colour it names
                                           ColorCase{0x80000008, 0xFF080000}, ColorCase{0xFF00000F, 0xFF0F0000}));

TEST(TLGControl, MulDivRoundsLikeTheSystem) {
  EXPECT_EQ(MulDiv(9, 96, 72), 12);
  EXPECT_EQ(MulDiv(10, 96, 72), 13);  // 13.33
  EXPECT_EQ(MulDiv(11, 96, 72), 15);  // 14.67
  EXPECT_EQ(MulDiv(3, 1, 2), 2);      // half away from zero
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(3, 1, -2), -2);
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
  EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), -1);
  EXPECT_EQ(FontHeightFromSize(9), -12);
  EXPECT_EQ(FontHeightFromSize(14), -19);
}

TEST(TLGControl, LabelAlignsCentreOnlyWhenCentred) {
  EXPECT_EQ(LabelHorizontalAlign(TAlignment::Center), TTextAlign::Center);
  EXPECT_EQ(LabelHorizontalAlign(TAlignment::LeftJustify), TTextAlign::Near);
  EXPECT_EQ(LabelHorizontalAlign(TAlignment::RightJustify), TTextAlign::Near);
}

TEST(TLGControl, GlyphPathAsGivenThenInTheLauncherFolder) {
  lg::test::TTempDir dir;
  lg::test::TTempDir other;
  ASSERT_TRUE(lg::test::WriteFileBytes(dir.File("strip.png"), "x"));
  ASSERT_TRUE(lg::test::WriteFileBytes(other.File("strip.png"), "y"));
  // A path that exists wins over the folder.
  EXPECT_EQ(ResolveGlyphPath(other.File("strip.png"), dir.Path()), other.File("strip.png"));
  EXPECT_EQ(ResolveGlyphPath("strip.png", dir.Path()), dir.File("strip.png"));
  EXPECT_EQ(ResolveGlyphPath("missing.png", dir.Path()), "");
  EXPECT_EQ(ResolveGlyphPath("", dir.Path()), "");
}

TEST(TLGLabelBase, WideTextRepaintsWhenDifferentAndOwnEventsOnly) {
  TRecordingParent parent;
  test::TDrawless<TLGLabelBase> label(&parent);
  label.PaintTo(nullptr);
  label.SetWideText(u"刷新");
  label.SetWideText(u"刷新");
  EXPECT_EQ(parent.posts.size(), 1u);
  std::vector<std::string> seen;
  label.OnMouseEnter = [&](TLGControl* s) { seen.push_back(s == &label ? "enter" : "?"); };
  label.OnMouseLeave = [&](TLGControl* s) { seen.push_back(s == &label ? "leave" : "?"); };
  parent.Clear();
  label.MouseEnter();
  label.MouseLeave();
  EXPECT_EQ(seen, (std::vector<std::string>{"enter", "leave"}));
  EXPECT_TRUE(parent.posts.empty());  // a label's pointer events repaint nothing
  label.OnMouseEnter = nullptr;
  label.MouseEnter();  // unset: skipped
}

}  // namespace
}  // namespace lg::skin
