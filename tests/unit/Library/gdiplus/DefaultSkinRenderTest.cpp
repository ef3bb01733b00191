// The generated default skin (demo/skin/make-skin, run by the build into
// LG_DEFAULT_SKIN) decodes through the skin's own image helper with the
// sizes its controls are laid out for, and composes into a picture.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Library/gdiplus/TLGButton.h"
#include "Library/gdiplus/TLGLabel.h"
#include "Library/gdiplus/TLGPicture.h"
#include "Library/gdiplus/TLGProgress2.h"
#include "RecordingParent.h"
#include "RenderFixture.h"
#include "launcher/SkinLayout.h"

namespace lg::skin {
namespace {

class DefaultSkin : public test::RenderTest {
 protected:
  static std::string File(const std::string& name) { return std::string(LG_DEFAULT_SKIN) + "\\" + name + ".png"; }
  static std::unique_ptr<Gdiplus::Bitmap> Load(const std::string& name) { return BitmapFromFile(File(name)); }
};

TEST_F(DefaultSkin, EveryImageDecodesWithItsDesignedSize) {
  const std::map<std::string, std::pair<UINT, UINT>> sizes = {
      {"background", {1002, 642}},     {"btn_start_normal", {266, 86}}, {"btn_gw_normal", {84, 32}},
      {"cb_normal", {35, 40}},         {"close_normal", {30, 24}},      {"frm_login", {302, 420}},
      {"pic_slogan", {260, 60}},       {"Progress_bk", {839, 17}},      {"Progress_all", {839, 17}},
      {"server_bk_active", {243, 32}}, {"server_bk_normal", {243, 32}}};
  for (const char* name : kImageNames) {
    auto bitmap = Load(name);
    ASSERT_TRUE(bitmap != nullptr) << name << " from " << File(name);
    const auto it = sizes.find(name);
    if (it == sizes.end()) continue;
    EXPECT_EQ(bitmap->GetWidth(), it->second.first) << name;
    EXPECT_EQ(bitmap->GetHeight(), it->second.second) << name;
  }
}

TEST_F(DefaultSkin, ControlsComposeOverTheBackground) {
  test::TRecordingParent parent;
  auto canvas = std::make_unique<Gdiplus::Bitmap>(1002, 642, PixelFormat32bppARGB);
  std::unique_ptr<Gdiplus::Graphics> g(Gdiplus::Graphics::FromImage(canvas.get()));
  auto background = Load("background");
  ASSERT_TRUE(background != nullptr);
  g->DrawImage(background.get(), 0, 0, 1002, 642);

  TLGPicture login(&parent);
  login.SetBounds(664, 110, 302, 420);
  login.SetImage(Load("frm_login"));
  TLGButton start(&parent);
  start.SetBounds(682, 426, 266, 86);
  start.SetImage(0, Load("btn_start_normal"));
  start.SetImage(1, Load("btn_start_active"));
  start.MouseEnter();
  TLGProgress2 bar(&parent);
  bar.SetBounds(84, 598, 839, 17);
  bar.SetBkgImage(Load("Progress_bk"));
  bar.SetStepImage(Load("Progress_all"));
  bar.SetPosition(60);
  TLGLabel status(&parent);
  status.SetBounds(84, 540, 505, 17);
  TLGFont f = status.Font();
  f.Color = 4227327;
  f.Size = 11;
  status.SetFont(f);
  status.SetWideText(u"正在更新");
  for (TLGControl* c : std::initializer_list<TLGControl*>{&login, &start, &bar, &status}) c->PaintTo(g.get());
  g->Flush(Gdiplus::FlushIntentionSync);

  // The hovered start button's plate, the filled part of the bar, and the
  // empty groove past 60 %.
  const uint32_t plate = Pixel(*canvas, 690, 470);
  EXPECT_GT(test::Red(plate), 0xC0) << std::hex << plate;
  const uint32_t filled = Pixel(*canvas, 300, 606);
  EXPECT_GT(test::Red(filled), 0xB0) << std::hex << filled;
  const uint32_t groove = Pixel(*canvas, 800, 606);
  EXPECT_LT(test::Red(groove), 0x40) << std::hex << groove;
  // The status text in its orange over its black shadow.
  const TBox text = Find(*canvas, [](uint32_t c) {
    return test::Red(c) > 0xE0 && test::Green(c) > 0x60 && test::Green(c) < 0xA0 && test::Blue(c) < 0x60;
  });
  EXPECT_GT(text.w, 10);
  EXPECT_GE(text.x, 84);
  EXPECT_LT(text.y, 560);

  // Kept for a look: out/windows/tests/unit/Library/gdiplus/default-skin.png.
  const CLSID png = PngEncoder();
  EXPECT_EQ(canvas->Save(L"default-skin.png", &png, nullptr), Gdiplus::Ok);
}

}  // namespace
}  // namespace lg::skin
