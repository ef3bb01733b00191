#include "Library/gdiplus/TLGLabel.h"

#include "RecordingParent.h"
#include "RenderFixture.h"

namespace lg::skin {
namespace {

class LabelRender : public test::RenderTest {
 protected:
  void SetUp() override {
    label.SetBounds(10, 10, 160, 30);
    TLGFont f = label.Font();
    f.Color = 0xFFFFFF;
    f.Size = 14;
    f.Bold = true;  // a label is never drawn bold
    label.SetFont(f);
    label.SetWideText(u"刷新区服列表");
  }
  std::unique_ptr<Gdiplus::Bitmap> Draw() { return Render(label, 200, 60, test::kGrey); }
  static bool White(uint32_t c) { return test::Red(c) > 230 && test::Green(c) > 230 && test::Blue(c) > 230; }
  static bool Black(uint32_t c) { return test::Red(c) < 30 && test::Green(c) < 30 && test::Blue(c) < 30; }

  test::TRecordingParent parent;
  TLGLabel label{&parent};
};

TEST_F(LabelRender, ShadowIsTheTextInBlackTwoPixelsRightAndDown) {
  auto canvas = Draw();
  const TBox text = Find(*canvas, White);
  const TBox shadow = Find(*canvas, Black);
  ASSERT_GT(text.w, 0) << "no text drawn: are the Chinese fonts in the prefix?";
  ASSERT_GT(shadow.w, 0);
  // The white text covers most of its shadow; the shadow sticks out by two
  // pixels at the right and bottom (one of slack for anti-aliasing).
  EXPECT_NEAR(shadow.Right(), text.Right() + 2, 1);
  EXPECT_NEAR(shadow.Bottom(), text.Bottom() + 2, 1);
  EXPECT_GE(shadow.x, text.x);
  EXPECT_GE(shadow.y, text.y);
}

TEST_F(LabelRender, CentredOnlyWhenTheAlignmentIsCentre) {
  label.SetAlignment(TAlignment::Center);
  auto canvas = Draw();
  const TBox centred = Find(*canvas, White);
  ASSERT_GT(centred.w, 0);
  EXPECT_NEAR(centred.x - 10, 170 - centred.Right(), 3);
  label.SetAlignment(TAlignment::RightJustify);
  canvas = Draw();
  const TBox right = Find(*canvas, White);
  // Right-justified draws near (left) aligned.
  EXPECT_LT(right.x, centred.x);
  EXPECT_LE(right.x, 14);
}

TEST_F(LabelRender, CaptionIsNotDrawn) {
  label.SetWideText(u"");
  label.SetCaption("caption");
  auto canvas = Draw();
  EXPECT_EQ(Find(*canvas, White).w, 0);
  EXPECT_EQ(Find(*canvas, Black).w, 0);
}

}  // namespace
}  // namespace lg::skin
