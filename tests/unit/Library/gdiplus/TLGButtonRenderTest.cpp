#include "Library/gdiplus/TLGButton.h"

#include "RecordingParent.h"
#include "RenderFixture.h"

namespace lg::skin {
namespace {

using test::kBlack;
using test::kBlue;
using test::kCanvas;
using test::kGreen;
using test::kGrey;
using test::kRed;

class ButtonRender : public test::RenderTest {
 protected:
  // A 60 x 20 button at (10, 10) with one solid colour per state image.
  void SetUp() override {
    button.SetBounds(10, 10, 60, 20);
    const uint32_t colours[4] = {kRed, kGreen, kBlue, kGrey};
    for (int s = 0; s < 4; ++s) button.SetImage(s, Solid(60, 20, colours[s]));
  }
  uint32_t Drawn() {
    auto canvas = Render(button, 100, 50);
    EXPECT_EQ(Pixel(*canvas, 5, 5), kCanvas);  // outside the bounds untouched
    return Pixel(*canvas, 12, 12);
  }
  // Where white text landed.
  TBox Text() {
    auto canvas = Render(button, 100, 50);
    return Find(*canvas, [](uint32_t c) { return test::Red(c) > 160 && test::Green(c) > 160 && test::Blue(c) > 160; });
  }
  void WithWhiteText() {
    TLGFont f = button.Font();
    f.Color = 0xFFFFFF;
    f.Size = 12;
    button.SetFont(f);
    button.SetWideText(u"开始");
    for (int s = 0; s < 4; ++s) button.SetImage(s, Solid(60, 20, kBlack));
  }

  test::TRecordingParent parent;
  TLGButton button{&parent};
};

TEST_F(ButtonRender, EachStateDrawsItsImage) {
  EXPECT_EQ(Drawn(), kRed);
  button.MouseEnter();
  EXPECT_EQ(Drawn(), kGreen);
  button.MouseDown(TMouseButton::Left, 1, 1);
  EXPECT_EQ(Drawn(), kBlue);
  button.MouseUp(TMouseButton::Left, 1, 1);
  EXPECT_EQ(Drawn(), kGreen);
  button.MouseLeave();
  EXPECT_EQ(Drawn(), kRed);
}

TEST_F(ButtonRender, DisabledBeatsHover) {
  button.MouseEnter();
  button.SetEnabled(false);
  EXPECT_EQ(Drawn(), kGrey);
  // Without a disable image the normal one is drawn.
  button.SetImage(kStateDisable, nullptr);
  EXPECT_EQ(Drawn(), kRed);
}

TEST_F(ButtonRender, ImageIsStretchedToTheBounds) {
  button.SetImage(kStateNormal, Columns(10, {{15, kRed}, {15, kBlue}}));
  auto canvas = Render(button, 100, 50);
  EXPECT_EQ(Pixel(*canvas, 10, 10), kRed);
  EXPECT_EQ(Pixel(*canvas, 38, 28), kRed);
  EXPECT_EQ(Pixel(*canvas, 42, 10), kBlue);
  EXPECT_EQ(Pixel(*canvas, 69, 29), kBlue);  // the last row and column are covered too
  EXPECT_EQ(Pixel(*canvas, 70, 29), kCanvas);
}

TEST_F(ButtonRender, InvisibleOrWithoutImagesDrawsNothing) {
  button.SetVisible(false);
  auto canvas = Render(button, 100, 50);
  EXPECT_EQ(Pixel(*canvas, 12, 12), kCanvas);
  button.SetVisible(true);
  for (int s = 0; s < 4; ++s) button.SetImage(s, nullptr);
  canvas = Render(button, 100, 50);
  EXPECT_EQ(Pixel(*canvas, 12, 12), kCanvas);
}

TEST_F(ButtonRender, CornerImageSitsAtTheTopRight) {
  button.SetImage(kCornerImage, Solid(8, 6, kGreen));
  auto canvas = Render(button, 100, 50);
  EXPECT_EQ(Pixel(*canvas, 62, 10), kGreen);
  EXPECT_EQ(Pixel(*canvas, 69, 15), kGreen);
  EXPECT_EQ(Pixel(*canvas, 61, 10), kRed);
  EXPECT_EQ(Pixel(*canvas, 69, 16), kRed);
}

TEST_F(ButtonRender, PressedTextMovesOnePixelRightAndDown) {
  WithWhiteText();
  const TBox normal = Text();
  ASSERT_GT(normal.w, 0) << "no text drawn: are the Chinese fonts in the prefix?";
  // The text is centred inside the bounds.
  EXPECT_GE(normal.x, 10);
  EXPECT_LE(normal.Right(), 70);
  button.MouseDown(TMouseButton::Left, 1, 1);
  const TBox down = Text();
  EXPECT_EQ(down.x, normal.x + 1);
  EXPECT_EQ(down.y, normal.y + 1);
  EXPECT_EQ(down.w, normal.w);
  EXPECT_EQ(down.h, normal.h);
}

TEST_F(ButtonRender, PressedTextStaysWithoutADownImage) {
  WithWhiteText();
  const TBox normal = Text();
  ASSERT_GT(normal.w, 0);
  button.SetImage(kStateDown, nullptr);
  button.MouseDown(TMouseButton::Left, 1, 1);
  const TBox down = Text();
  EXPECT_EQ(down.x, normal.x);
  EXPECT_EQ(down.y, normal.y);
}

TEST_F(ButtonRender, TextColourComesFromTheStoredBytes) {
  TLGFont f = button.Font();
  f.Color = 0x0000FF;  // stored red byte first: drawn as pure red
  f.Size = 12;
  button.SetFont(f);
  button.SetWideText(u"开始");
  for (int s = 0; s < 4; ++s) button.SetImage(s, Solid(60, 20, kBlack));
  auto canvas = Render(button, 100, 50);
  const TBox red =
      Find(*canvas, [](uint32_t c) { return test::Red(c) > 200 && test::Green(c) < 40 && test::Blue(c) < 40; });
  EXPECT_GT(red.w, 0);
  const TBox blue = Find(*canvas, [](uint32_t c) { return test::Blue(c) > 120 && test::Red(c) < 60; });
  EXPECT_EQ(blue.w, 0);
}

}  // namespace
}  // namespace lg::skin
