#include "Library/gdiplus/SkinGeometry.h"

#include <gtest/gtest.h>

namespace lg::skin {
namespace {

struct CellCase {
  int width, height;
  bool vertical;
  TRectI cells[4];
};
class GlyphStrip : public ::testing::TestWithParam<CellCase> {};

TEST_P(GlyphStrip, FourEqualCellsRemainderUnused) {
  const CellCase& c = GetParam();
  const auto cells = GlyphCells(c.width, c.height, c.vertical);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(cells[k], c.cells[k]) << "cell " << k;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, GlyphStrip,
    ::testing::Values(CellCase{200, 30, false, {{0, 0, 50, 30}, {50, 0, 50, 30}, {100, 0, 50, 30}, {150, 0, 50, 30}}},
                      CellCase{203, 30, false, {{0, 0, 50, 30}, {50, 0, 50, 30}, {100, 0, 50, 30}, {150, 0, 50, 30}}},
                      CellCase{60, 80, true, {{0, 0, 60, 20}, {0, 20, 60, 20}, {0, 40, 60, 20}, {0, 60, 60, 20}}},
                      CellCase{60, 83, true, {{0, 0, 60, 20}, {0, 20, 60, 20}, {0, 40, 60, 20}, {0, 60, 60, 20}}},
                      CellCase{3, 10, false, {{0, 0, 0, 10}, {0, 0, 0, 10}, {0, 0, 0, 10}, {0, 0, 0, 10}}}));

TProgressInput Bar(int64_t position, int stepWidth) {
  TProgressInput in;
  in.left = 83;
  in.top = 477;
  in.width = 400;
  in.position = position;
  in.max = 100;
  in.step = {stepWidth, 17};
  return in;
}

TEST(ProgressLayout, NarrowFillRevealsTheStepImageUnscaled) {
  const TProgressLayout l = ProgressLayout(Bar(25, 300));
  EXPECT_FLOAT_EQ(l.fill, 100);
  EXPECT_TRUE(l.step.draw);
  EXPECT_EQ(l.step.dest, (TRectF{83, 477, 100, 17}));
  EXPECT_EQ(l.step.source, (TRectF{0, 0, 100, 17}));
  EXPECT_FALSE(l.background.draw);
  EXPECT_FALSE(l.border.draw);
}

TEST(ProgressLayout, WideFillStretchesTheWholeStepImage) {
  const TProgressLayout l = ProgressLayout(Bar(100, 300));
  EXPECT_FLOAT_EQ(l.fill, 400);
  EXPECT_EQ(l.step.dest, (TRectF{83, 477, 400, 17}));
  EXPECT_EQ(l.step.source, (TRectF{0, 0, 300, 17}));
}

TEST(ProgressLayout, FractionalFillRevealsTheTruncatedWidth) {
  TProgressInput in = Bar(1, 300);
  in.max = 3;  // 400 / 3 = 133.33
  const TProgressLayout l = ProgressLayout(in);
  EXPECT_NEAR(l.step.dest.w, 133.333f, 0.001f);
  EXPECT_EQ(l.step.source.w, 133.0f);
}

TEST(ProgressLayout, MinPlaysNoPartAndZeroMaxDrawsNoFill) {
  TProgressInput in = Bar(50, 300);
  EXPECT_FLOAT_EQ(ProgressLayout(in).fill, 200);
  in.max = 0;
  EXPECT_FLOAT_EQ(ProgressLayout(in).fill, 0);
}

TEST(ProgressLayout, XOffsetShiftsEveryPart) {
  TProgressInput in = Bar(25, 300);
  in.xOffset = -7;
  in.hasBackground = true;
  in.background = {50, 17};
  in.hasBorder = true;
  in.border = {20, 17};
  const TProgressLayout l = ProgressLayout(in);
  EXPECT_EQ(l.background.dest.x, 76);
  EXPECT_EQ(l.step.dest.x, 76);
  EXPECT_EQ(l.border.dest.x, 76 + 100 - 20);
}

TEST(ProgressLayout, BackgroundSpansTheBarAndTiles) {
  TProgressInput in = Bar(25, 300);
  in.hasBackground = true;
  in.background = {50, 17};
  const TProgressLayout l = ProgressLayout(in);
  EXPECT_EQ(l.background.dest, (TRectF{83, 477, 400, 17}));
  // Source wider than the image: the wrap mode repeats it.
  EXPECT_EQ(l.background.source, (TRectF{0, 0, 400, 17}));
}

struct CapCase {
  int64_t position;  // of 40, bar 400 wide: fill = 10 x position
  int capWidth;
  TRectF dest, source;
};
class EndCap : public ::testing::TestWithParam<CapCase> {};

TEST_P(EndCap, RightEdgeMeetsTheEndOfTheFill) {
  const CapCase& c = GetParam();
  TProgressInput in = Bar(c.position, 300);
  in.max = 40;
  in.left = 0;
  in.top = 0;
  in.hasBorder = true;
  in.border = {c.capWidth, 17};
  const TProgressLayout l = ProgressLayout(in);
  EXPECT_TRUE(l.border.draw);
  EXPECT_EQ(l.border.dest, c.dest);
  EXPECT_EQ(l.border.source, c.source);
}

INSTANTIATE_TEST_SUITE_P(Rules, EndCap,
                         ::testing::Values(
                             // 10-pixel fill, 20-pixel cap: its right-most 10 pixels at the bar's left end
                             CapCase{1, 20, {0, 0, 10, 17}, {10, 0, 10, 17}},
                             // fill as wide as the cap: the whole cap
                             CapCase{2, 20, {0, 0, 20, 17}, {0, 0, 20, 17}},
                             // wider fill: the cap ends where the fill ends
                             CapCase{10, 20, {80, 0, 20, 17}, {0, 0, 20, 17}},
                             // no fill: an empty slice
                             CapCase{0, 20, {0, 0, 0, 17}, {20, 0, 0, 17}}));

}  // namespace
}  // namespace lg::skin
