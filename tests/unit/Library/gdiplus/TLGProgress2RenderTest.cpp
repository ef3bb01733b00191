#include "Library/gdiplus/TLGProgress2.h"

#include "RecordingParent.h"
#include "RenderFixture.h"

namespace lg::skin {
namespace {

using test::kBlue;
using test::kCanvas;
using test::kGreen;
using test::kMagenta;
using test::kRed;
using test::kYellow;

// A 400-pixel bar at (0, 0) on a 420 x 20 canvas.
class ProgressRender : public test::RenderTest {
 protected:
  void SetUp() override { bar.SetBounds(0, 0, 400, 10); }
  std::unique_ptr<Gdiplus::Bitmap> Draw() { return Render(bar, 420, 20); }

  test::TRecordingParent parent;
  TLGProgress2 bar{&parent};
};

TEST_F(ProgressRender, QuarterFillRevealsTheStepImageUnscaled) {
  bar.SetStepImage(Columns(10, {{50, kRed}, {50, kGreen}, {200, kBlue}}));
  bar.SetPosition(25);
  auto canvas = Draw();
  for (int x : {0, 10, 49}) EXPECT_EQ(Pixel(*canvas, x, 5), kRed) << x;
  for (int x : {50, 75, 99}) EXPECT_EQ(Pixel(*canvas, x, 5), kGreen) << x;
  // Nothing of the image beyond the fill: it was not squeezed into it.
  for (int x : {100, 101, 250, 399}) EXPECT_EQ(Pixel(*canvas, x, 5), kCanvas) << x;
  EXPECT_EQ(Pixel(*canvas, 5, 10), kCanvas);  // image height, not the bar's
}

TEST_F(ProgressRender, FullFillStretchesTheStepImageToFourHundredPixels) {
  bar.SetStepImage(Columns(10, {{150, kRed}, {150, kBlue}}));
  bar.SetPosition(100);
  auto canvas = Draw();
  for (int x : {0, 100, 195}) EXPECT_EQ(Pixel(*canvas, x, 5), kRed) << x;
  for (int x : {205, 300, 399}) EXPECT_EQ(Pixel(*canvas, x, 5), kBlue) << x;
  EXPECT_EQ(Pixel(*canvas, 400, 5), kCanvas);
}

TEST_F(ProgressRender, TenPixelFillShowsTheCapsRightMostTenPixels) {
  bar.SetMax(40);
  bar.SetPosition(1);  // 400 x 1 / 40 = 10 pixels
  bar.SetStepImage(Solid(300, 10, kGreen));
  bar.SetBorderImage(Columns(10, {{10, kYellow}, {10, kMagenta}}));
  auto canvas = Draw();
  for (int x : {0, 5, 9}) EXPECT_EQ(Pixel(*canvas, x, 5), kMagenta) << x;
  for (int x : {10, 20}) EXPECT_EQ(Pixel(*canvas, x, 5), kCanvas) << x;
  EXPECT_EQ(Find(*canvas, [](uint32_t c) { return c == kYellow; }).w, 0);
}

TEST_F(ProgressRender, CapEndsWhereAWideFillEnds) {
  bar.SetPosition(50);  // 200 pixels
  bar.SetStepImage(Solid(300, 10, kGreen));
  bar.SetBorderImage(Columns(10, {{10, kYellow}, {10, kMagenta}}));
  auto canvas = Draw();
  EXPECT_EQ(Pixel(*canvas, 179, 5), kGreen);
  EXPECT_EQ(Pixel(*canvas, 180, 5), kYellow);
  EXPECT_EQ(Pixel(*canvas, 189, 5), kYellow);
  EXPECT_EQ(Pixel(*canvas, 190, 5), kMagenta);
  EXPECT_EQ(Pixel(*canvas, 199, 5), kMagenta);
  EXPECT_EQ(Pixel(*canvas, 200, 5), kCanvas);
}

TEST_F(ProgressRender, BackgroundTilesAcrossTheBar) {
  bar.SetStepImage(Solid(300, 4, kGreen));
  bar.SetBkgImage(Columns(10, {{30, kRed}, {20, kBlue}}));
  bar.SetPosition(0);
  auto canvas = Draw();
  EXPECT_EQ(Pixel(*canvas, 10, 5), kRed);
  EXPECT_EQ(Pixel(*canvas, 40, 5), kBlue);
  EXPECT_EQ(Pixel(*canvas, 60, 5), kRed);    // second tile
  EXPECT_EQ(Pixel(*canvas, 390, 5), kBlue);  // eighth tile: 350..399, blue from 380
  EXPECT_EQ(Pixel(*canvas, 405, 5), kCanvas);
}

TEST_F(ProgressRender, XOffsetShiftsTheBarAndNoStepImageDrawsNothing) {
  bar.SetBkgImage(Solid(50, 10, kRed));
  auto canvas = Draw();
  EXPECT_EQ(Pixel(*canvas, 10, 5), kCanvas);  // no step image: nothing at all
  bar.SetStepImage(Solid(300, 10, kGreen));
  bar.SetBounds(20, 0, 100, 10);
  bar.SetXOffset(-20);
  bar.SetPosition(50);
  canvas = Draw();
  EXPECT_EQ(Pixel(*canvas, 0, 5), kGreen);
  EXPECT_EQ(Pixel(*canvas, 49, 5), kGreen);
  EXPECT_EQ(Pixel(*canvas, 50, 5), kRed);
  EXPECT_EQ(Pixel(*canvas, 99, 5), kRed);
  EXPECT_EQ(Pixel(*canvas, 100, 5), kCanvas);
}

}  // namespace
}  // namespace lg::skin
