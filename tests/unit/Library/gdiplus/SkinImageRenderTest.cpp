#include <gtest/gtest.h>

#include "Library/gdiplus/TLGButton.h"
#include "Library/gdiplus/TLGPicture.h"
#include "Library/gdiplus/TLGProgress2.h"
#include "RecordingParent.h"
#include "RenderFixture.h"
#include "tests/support/TestSupport.h"

namespace lg::skin {
namespace {

using test::kBlue;
using test::kCanvas;
using test::kGreen;
using test::kGrey;
using test::kRed;
using test::kYellow;

class SkinImage : public test::RenderTest {};

TEST_F(SkinImage, BytesDecodeIntoABitmapThatOutlivesThem) {
  auto source = Columns(3, {{2, kRed}, {3, 0x80112233}});
  std::string png = EncodePng(*source);
  ASSERT_FALSE(png.empty());
  auto decoded = BitmapFromBytes(png);
  png.assign(png.size(), '\0');  // the bytes are gone; the bitmap stays whole
  ASSERT_TRUE(decoded != nullptr);
  EXPECT_EQ(decoded->GetWidth(), 5u);
  EXPECT_EQ(decoded->GetHeight(), 3u);
  EXPECT_EQ(Pixel(*decoded, 1, 2), kRed);
  EXPECT_EQ(Pixel(*decoded, 4, 0), 0x80112233u);  // alpha kept
}

TEST_F(SkinImage, BytesThatAreNoImageGiveNothing) {
  EXPECT_TRUE(BitmapFromBytes("") == nullptr);
  EXPECT_TRUE(BitmapFromBytes("\x89PNG\r\n\x1a\n truncated") == nullptr);
  EXPECT_TRUE(BitmapFromBytes(std::string(1000, 'x')) == nullptr);
  EXPECT_TRUE(BitmapFromFile("C:\\no\\such\\file.png") == nullptr);
}

TEST_F(SkinImage, GlyphStripCutsIntoFourCellsRemainderUnused) {
  auto strip = Columns(30, {{50, kRed}, {50, kGreen}, {50, kBlue}, {50, kGrey}, {3, kYellow}});
  auto cells = CutGlyphStrip(*strip, false);
  const uint32_t expected[4] = {kRed, kGreen, kBlue, kGrey};
  for (int k = 0; k < 4; ++k) {
    ASSERT_TRUE(cells[k] != nullptr);
    EXPECT_EQ(cells[k]->GetWidth(), 50u);
    EXPECT_EQ(cells[k]->GetHeight(), 30u);
    EXPECT_EQ(Pixel(*cells[k], 0, 0), expected[k]);
    EXPECT_EQ(Pixel(*cells[k], 49, 29), expected[k]);
  }
  auto tall = Solid(10, 8, kRed);
  auto stacked = CutGlyphStrip(*tall, true);
  ASSERT_TRUE(stacked[3] != nullptr);
  EXPECT_EQ(stacked[3]->GetWidth(), 10u);
  EXPECT_EQ(stacked[3]->GetHeight(), 2u);
}

TEST_F(SkinImage, ButtonGlyphLoadsFromTheLauncherFolderAndMissingKeepsImages) {
  lg::test::TTempDir dir;
  test::TRecordingParent parent;
  parent.folder = dir.Path();
  auto strip = Columns(20, {{60, kRed}, {60, kGreen}, {60, kBlue}, {60, kGrey}});
  ASSERT_TRUE(lg::test::WriteFileBytes(dir.File("start.png"), EncodePng(*strip)));

  TLGButton button(&parent);
  button.SetBounds(0, 0, 60, 20);
  button.SetButtonGlyph("start.png");
  for (int s = 0; s < 4; ++s) ASSERT_TRUE(button.Image(s) != nullptr) << s;
  button.MouseEnter();
  auto canvas = Render(button, 60, 20);
  EXPECT_EQ(Pixel(*canvas, 30, 3), kGreen);

  Gdiplus::Image* before = button.Image(kStateNormal);
  button.SetButtonGlyph("missing.png");
  EXPECT_EQ(button.ButtonGlyph(), "missing.png");
  EXPECT_EQ(button.Image(kStateNormal), before);
}

TEST_F(SkinImage, ProgressGlyphNameKeptOnlyWhenLoaded) {
  lg::test::TTempDir dir;
  test::TRecordingParent parent;
  parent.folder = dir.Path();
  auto step = Solid(30, 5, kBlue);
  ASSERT_TRUE(lg::test::WriteFileBytes(dir.File("step.png"), EncodePng(*step)));
  TLGProgress2 bar(&parent);
  bar.SetStepGlyph(dir.File("step.png"));  // a full path that exists
  EXPECT_EQ(bar.StepGlyph(), dir.File("step.png"));
  ASSERT_TRUE(bar.StepImage() != nullptr);
  bar.SetStepGlyph("missing.png");
  EXPECT_EQ(bar.StepGlyph(), dir.File("step.png"));
  bar.SetBorderGlyph("missing.png");
  EXPECT_EQ(bar.BorderGlyph(), "");
  EXPECT_TRUE(bar.BorderImage() == nullptr);
}

TEST_F(SkinImage, PictureDrawsAtNaturalSize) {
  test::TRecordingParent parent;
  TLGPicture picture(&parent);
  picture.SetBounds(5, 5, 100, 100);
  picture.SetImage(Columns(4, {{3, kRed}, {3, kBlue}}));
  auto canvas = Render(picture, 40, 40);
  EXPECT_EQ(Pixel(*canvas, 5, 5), kRed);
  EXPECT_EQ(Pixel(*canvas, 10, 8), kBlue);
  EXPECT_EQ(Pixel(*canvas, 11, 5), kCanvas);
  EXPECT_EQ(Pixel(*canvas, 5, 9), kCanvas);
  // Painting by the parent makes later changes repaint requests.
  parent.Clear();
  picture.SetImage(nullptr);
  ASSERT_EQ(parent.posts.size(), 1u);
  EXPECT_EQ(parent.posts[0].message, kRepaintRequest);
}

}  // namespace
}  // namespace lg::skin
