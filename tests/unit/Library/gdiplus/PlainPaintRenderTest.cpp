// The controls' own painting on a device context, before the parent has
// composed them: the image path when there is an image, the plain system
// look otherwise.
#include <gtest/gtest.h>

#include "Library/gdiplus/TLGButton.h"
#include "Library/gdiplus/TLGPicture.h"
#include "Library/gdiplus/TLGProgress2.h"
#include "RecordingParent.h"
#include "RenderFixture.h"

namespace lg::skin {
namespace {

// A 100 x 50 32bpp DIB section selected into a memory device context.
class PlainPaint : public test::RenderTest {
 protected:
  void SetUp() override {
    dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 100;
    info.bmiHeader.biHeight = -50;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(dib != nullptr);
    old = SelectObject(dc, dib);
    RECT all{0, 0, 100, 50};
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(dc, &all, black);
    DeleteObject(black);
  }
  void TearDown() override {
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) { return GetPixel(dc, x, y) & 0xFFFFFF; }

  HDC dc = nullptr;
  HBITMAP dib = nullptr;
  HGDIOBJ old = nullptr;
  test::TRecordingParent parent;
};

TEST_F(PlainPaint, ButtonWithoutImagesIsAFramedFace) {
  TLGButton button(&parent);
  button.SetBounds(10, 10, 60, 20);
  button.Paint(dc);
  EXPECT_EQ(At(30, 15), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(At(10, 10), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(At(69, 29), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(At(9, 9), 0u);  // outside untouched
  EXPECT_FALSE(button.ParentPainted());
}

TEST_F(PlainPaint, DisabledButtonHasAGreyTopLeftEdgeOnly) {
  TLGButton button(&parent);
  button.SetBounds(10, 10, 60, 20);
  button.SetEnabled(false);
  button.Paint(dc);
  EXPECT_EQ(At(10, 10), static_cast<COLORREF>(RGB(0x80, 0x80, 0x80)));
  EXPECT_EQ(At(69, 29), GetSysColor(COLOR_BTNFACE));
}

TEST_F(PlainPaint, ButtonWithTheCurrentStateImageDrawsIt) {
  TLGButton button(&parent);
  button.SetBounds(10, 10, 60, 20);
  button.SetImage(kStateNormal, Solid(60, 20, test::kRed));
  button.Paint(dc);
  EXPECT_EQ(At(30, 15), static_cast<COLORREF>(RGB(255, 0, 0)));
  // Hovered without an active image: no fallback here, the plain look.
  button.MouseEnter();
  button.Paint(dc);
  EXPECT_EQ(At(30, 15), GetSysColor(COLOR_BTNFACE));
}

TEST_F(PlainPaint, PictureAndProgressFrameShadowFirst) {
  TLGPicture picture(&parent);
  picture.SetBounds(0, 0, 40, 20);
  picture.Paint(dc);
  EXPECT_EQ(At(0, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(At(39, 19), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_FALSE(picture.ParentPainted());

  TLGProgress2 bar(&parent);
  bar.SetBounds(50, 0, 40, 20);
  bar.Paint(dc);
  EXPECT_EQ(At(50, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(At(89, 19), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(PlainPaint, ImageBackedPaintMakesPictureAndBarParentPainted) {
  TLGPicture picture(&parent);
  picture.SetImage(Solid(5, 5, test::kBlue));
  picture.Paint(dc);
  EXPECT_TRUE(picture.ParentPainted());
  EXPECT_EQ(At(2, 2), static_cast<COLORREF>(RGB(0, 0, 255)));
  TLGProgress2 bar(&parent);
  bar.SetStepImage(Solid(5, 5, test::kBlue));
  bar.Paint(dc);
  EXPECT_TRUE(bar.ParentPainted());
}

}  // namespace
}  // namespace lg::skin
