#include "Library/gdiplus/TLGProgressBase.h"

#include <gtest/gtest.h>

#include "RecordingParent.h"

namespace lg::skin {
namespace {

using test::TRecordingParent;

enum class Field { Position, Min, Max };

// Start from (min, position, max), set one field, expect (min, position, max)
// and whether a repaint was requested.
struct RangeCase {
  const char* name;
  int64_t min, position, max;
  Field field;
  int64_t value;
  int64_t expMin, expPosition, expMax;
  bool repaint;
};

class ProgressRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ProgressRange, AcceptsOnlyValuesThatKeepTheInvariant) {
  const RangeCase& c = GetParam();
  TRecordingParent parent;
  test::TDrawless<TLGProgressBase> p(&parent);
  p.SetMax(c.max);
  p.SetMin(c.min);
  p.SetPosition(c.position);
  ASSERT_EQ(p.Min(), c.min);
  ASSERT_EQ(p.Position(), c.position);
  ASSERT_EQ(p.Max(), c.max);
  p.PaintTo(nullptr);
  switch (c.field) {
    case Field::Position: p.SetPosition(c.value); break;
    case Field::Min: p.SetMin(c.value); break;
    case Field::Max: p.SetMax(c.value); break;
  }
  EXPECT_EQ(p.Min(), c.expMin);
  EXPECT_EQ(p.Position(), c.expPosition);
  EXPECT_EQ(p.Max(), c.expMax);
  EXPECT_EQ(parent.posts.size(), c.repaint ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProgressRange,
    ::testing::Values(RangeCase{"PositionInside", 0, 0, 100, Field::Position, 25, 0, 25, 100, true},
                      RangeCase{"PositionAtMax", 0, 0, 100, Field::Position, 100, 0, 100, 100, true},
                      RangeCase{"PositionAboveMaxIgnored", 0, 50, 100, Field::Position, 150, 0, 50, 100, false},
                      RangeCase{"PositionBelowMinIgnored", 10, 50, 100, Field::Position, 5, 10, 50, 100, false},
                      RangeCase{"PositionSameIgnored", 0, 50, 100, Field::Position, 50, 0, 50, 100, false},
                      RangeCase{"MaxBelowPositionPullsItDown", 0, 50, 100, Field::Max, 40, 0, 40, 40, true},
                      RangeCase{"MaxAbovePositionKeepsIt", 0, 50, 100, Field::Max, 400, 0, 50, 400, true},
                      RangeCase{"MaxAtMinIgnored", 10, 50, 100, Field::Max, 10, 10, 50, 100, false},
                      RangeCase{"MaxBelowMinIgnored", 10, 50, 100, Field::Max, 5, 10, 50, 100, false},
                      RangeCase{"MaxSameIgnored", 0, 50, 100, Field::Max, 100, 0, 50, 100, false},
                      RangeCase{"MinNegativeIgnored", 0, 50, 100, Field::Min, -1, 0, 50, 100, false},
                      RangeCase{"MinAtMaxIgnored", 0, 50, 100, Field::Min, 100, 0, 50, 100, false},
                      RangeCase{"MinAbovePositionPullsItUp", 0, 50, 100, Field::Min, 60, 60, 60, 100, true},
                      RangeCase{"MinBelowPositionKeepsIt", 0, 50, 100, Field::Min, 20, 20, 50, 100, true},
                      RangeCase{"MinSameIgnored", 20, 50, 100, Field::Min, 20, 20, 50, 100, false},
                      RangeCase{"SixtyFourBitRange", 0, 0, int64_t{1} << 40, Field::Position, int64_t{1} << 39, 0,
                                int64_t{1} << 39, int64_t{1} << 40, true}),
    [](const ::testing::TestParamInfo<RangeCase>& p) { return std::string(p.param.name); });

// Answers a load for names starting with "ok".
class LoadingBar : public test::TDrawless<TLGProgressBase> {
 public:
  using TDrawless::TDrawless;
  int loads = 0;

 protected:
  bool LoadGlyph(TGlyph, const std::string& name) override {
    ++loads;
    return name.rfind("ok", 0) == 0;
  }
};

TEST(TLGProgressBase, GlyphNameKeptOnlyWhenItsImageLoaded) {
  TRecordingParent parent;
  LoadingBar p(&parent);
  p.PaintTo(nullptr);
  p.SetStepGlyph("ok-step.png");
  p.SetBorderGlyph("missing.png");
  p.SetBkgGlyph("ok-bk.png");
  EXPECT_EQ(p.StepGlyph(), "ok-step.png");
  EXPECT_EQ(p.BorderGlyph(), "");
  EXPECT_EQ(p.BkgGlyph(), "ok-bk.png");
  EXPECT_EQ(parent.posts.size(), 2u);
  p.SetStepGlyph("ok-step.png");  // same name: no load
  EXPECT_EQ(p.loads, 3);
  p.SetBorderGlyph("missing.png");  // not stored, so tried again
  EXPECT_EQ(p.loads, 4);
}

TEST(TLGProgressBase, PercentTextHasTwoDecimals) {
  EXPECT_EQ(ProgressPercentText("", 50, 100), "50.00%");
  EXPECT_EQ(ProgressPercentText("a", 1, 3), "a33.33%");
  EXPECT_EQ(ProgressPercentText("", 0, 0), "0.00%");
}

}  // namespace
}  // namespace lg::skin
