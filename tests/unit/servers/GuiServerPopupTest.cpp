// The popup window under Wine: rows drawn off-screen and read back pixel by
// pixel, and a live popup driven with window messages.
#include <gtest/gtest.h>

#include "Library/gdiplus/GdiplusSession.h"
#include "common/Gbk.h"
#include "servers/TfrmServerList.h"
#include "tests/support/BmpBytes.h"

namespace lg {
namespace {

constexpr uint32_t kNormalBack = 0xFF2040A0, kActiveBack = 0xFF207020, kMark = 0xFFC01010;
constexpr int kMarkWidth = 24;

uint32_t Pixel(Gdiplus::Bitmap& b, int x, int y) {
  Gdiplus::Color c;
  b.GetPixel(x, y, &c);
  return c.GetValue();
}

int R(uint32_t c) {
  return (c >> 16) & 0xFF;
}
int G(uint32_t c) {
  return (c >> 8) & 0xFF;
}
int B(uint32_t c) {
  return c & 0xFF;
}

// The text area: right of the text's left edge, left of the mark.
template <class Visit>
void ForTextArea(Gdiplus::Bitmap& b, Visit visit) {
  for (int y = 0; y < static_cast<int>(b.GetHeight()); ++y)
    for (int x = TServerPopup::kTextLeft; x < static_cast<int>(b.GetWidth()) - kMarkWidth; ++x) visit(Pixel(b, x, y));
}

// Anti-aliasing blends the glyph edges into the row: the text colour is the
// one of the three candidates nearest to the brightest pixel (in red plus
// green, which the blue and green test backgrounds have little of).
uint32_t TextColourOf(Gdiplus::Bitmap& b) {
  uint32_t best = 0;
  ForTextArea(b, [&](uint32_t p) {
    if (R(p) + G(p) > R(best) + G(best)) best = p;
  });
  uint32_t nearest = 0;
  int distance = INT32_MAX;
  for (uint32_t c : {0xFFFFFFFFu, 0xFFFFFF00u, 0xFFD2A311u}) {
    const int d =
        (R(c) - R(best)) * (R(c) - R(best)) + (G(c) - G(best)) * (G(c) - G(best)) + (B(c) - B(best)) * (B(c) - B(best));
    if (d < distance) distance = d, nearest = c;
  }
  return distance < 40 * 40 ? nearest : 0;
}

int DarkPixels(Gdiplus::Bitmap& b) {
  int n = 0;
  ForTextArea(b, [&](uint32_t p) { n += R(p) + G(p) + B(p) < 60; });
  return n;
}

// With LG_DUMP_DIR set, the rows drawn are kept there as PNG files.
void Dump(Gdiplus::Bitmap& b, const std::string& name) {
  const std::string dir = plat::GetEnv("LG_DUMP_DIR");
  if (dir.empty()) return;
  const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  const std::u16string path = plat::Utf16FromGbk(dir + "\\" + name + ".png");
  b.Save(reinterpret_cast<const WCHAR*>(path.c_str()), &png, nullptr);
}

TServerName Server(int id, const char* utf8, const char* member, uint8_t recommend) {
  TServerName entry;
  entry.name = Gbk(utf8);
  entry.record.id = id;
  entry.record.name = plat::Utf16FromGbk(entry.name);
  entry.record.member = Gbk(member);
  entry.record.recommend = recommend;
  return entry;
}

class ServerPopupWindow : public ::testing::Test, public IServerPopupOwner {
 protected:
  static void SetUpTestSuite() { session_ = new skin::TGdiplusSession(); }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(session_->Ok());
    normal_ = skin::BitmapFromBytes(test::SolidBmp(TfrmServerList::kWidth - 2, 32, kNormalBack));
    active_ = skin::BitmapFromBytes(test::SolidBmp(TfrmServerList::kWidth - 2, 32, kActiveBack));
    mark_ = skin::BitmapFromBytes(test::SolidBmp(kMarkWidth, 32, kMark));
    ASSERT_TRUE(normal_ && active_ && mark_);
    images_ = {active_.get(), normal_.get(), mark_.get()};
  }

  void SelectServer(const TServerInfo& record) override { selected_.push_back(record.id); }
  void SelectMember(const std::string& member) override { members_.push_back(member); }
  void PopupClosed(TfrmServerList* popup) override {
    if (popup == popup_) popup_ = nullptr;
    ++closed_;
  }

  // Runs the message loop until `done` holds or about four seconds passed
  // (Wine without a window manager takes two seconds to hide an active
  // window).
  template <class Done>
  bool Pump(Done done) {
    for (int i = 0; i < 400 && !done(); ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(10);
    }
    return done();
  }

  static inline skin::TGdiplusSession* session_ = nullptr;
  std::unique_ptr<Gdiplus::Bitmap> normal_, active_, mark_;
  TServerPopupImages images_;
  TfrmServerList* popup_ = nullptr;
  std::vector<int> selected_;
  std::vector<std::string> members_;
  int closed_ = 0;
};

TEST_F(ServerPopupWindow, RowsShowTheirColoursAndTheNewServerMark) {
  const TServerPopup rows(TPopupMode::Servers, {Server(1, "新开一区", "A", 2), Server(2, "老区", "A", 0)}, Gbk("A"));
  struct TCase {
    int index;
    bool selected;
    uint32_t back;
    uint32_t text;
    bool mark;
  };
  for (const TCase& c :
       {TCase{0, false, kNormalBack, 0xFFFFFF00, true}, TCase{1, false, kNormalBack, 0xFFD2A311, false},
        TCase{1, true, kActiveBack, 0xFFFFFFFF, false}, TCase{0, true, kActiveBack, 0xFFFFFFFF, true}}) {
    SCOPED_TRACE(testing::Message() << "row " << c.index << (c.selected ? " selected" : ""));
    std::unique_ptr<Gdiplus::Bitmap> row = TfrmServerList::RenderRow(rows, c.index, c.selected, 243, 32, images_);
    ASSERT_TRUE(row);
    Dump(*row, "row" + std::to_string(c.index) + (c.selected ? "s" : ""));
    EXPECT_EQ(Pixel(*row, 2, 2), c.back);
    EXPECT_EQ(Pixel(*row, 242, 16), c.mark ? kMark : c.back);
    EXPECT_EQ(Pixel(*row, 243 - kMarkWidth - 1, 30), c.back);
    // The text is drawn in its colour over a black shadow.
    EXPECT_EQ(TextColourOf(*row), c.text);
    EXPECT_GT(DarkPixels(*row), 20);
  }
}

TEST_F(ServerPopupWindow, GroupRowsAreGoldUnlessSelected) {
  const TServerPopup rows(TPopupMode::Groups, {Server(1, "x", "电信", 2)}, "");
  std::unique_ptr<Gdiplus::Bitmap> row = TfrmServerList::RenderRow(rows, 0, false, 243, 32, images_);
  ASSERT_TRUE(row);
  EXPECT_EQ(TextColourOf(*row), 0xFFD2A311u);
  EXPECT_EQ(Pixel(*row, 242, 16), kNormalBack);  // no record, no mark
}

TEST_F(ServerPopupWindow, OpensBelowThePointWithItsHeightAndCommitsOnEscape) {
  const std::vector<TServerName> names = {Server(1, "a", "G", 0), Server(2, "b", "H", 0), Server(3, "c", "G", 1)};
  popup_ = TfrmServerList::ShowServers({100, 120}, names, "G", images_, this);
  ASSERT_TRUE(popup_);
  RECT r;
  GetWindowRect(popup_->Handle(), &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 120);
  EXPECT_EQ(r.right - r.left, 245);
  EXPECT_EQ(r.bottom - r.top, 66);
  EXPECT_NE(GetClassLongW(popup_->Handle(), GCL_STYLE) & CS_DROPSHADOW, 0u);
  EXPECT_EQ(GetWindowLongW(popup_->Handle(), GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));

  HWND list = popup_->List();
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(20, 40));  // the second row
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(20, 70));  // outside the list: unchanged
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
  SendMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(selected_, std::vector<int>{3});
  EXPECT_TRUE(Pump([&] { return popup_ == nullptr; }));
  EXPECT_EQ(closed_, 1);
}

TEST_F(ServerPopupWindow, GroupPopupCommitsTheGroupOnAClick) {
  const std::vector<TServerName> names = {Server(1, "a", "G", 0), Server(2, "b", "H", 0), Server(3, "c", "g", 0)};
  popup_ = TfrmServerList::ShowGroups({10, 10}, names, images_, this);
  ASSERT_TRUE(popup_);
  EXPECT_EQ(popup_->Rows().Count(), 2);
  HWND list = popup_->List();
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
  EXPECT_EQ(members_, std::vector<std::string>{"G"});
  EXPECT_TRUE(Pump([&] { return popup_ == nullptr; }));
  EXPECT_TRUE(selected_.empty());
}

TEST_F(ServerPopupWindow, ClosesWhenAnotherWindowTakesTheForeground) {
  popup_ = TfrmServerList::ShowServers({10, 10}, {Server(1, "a", "G", 0)}, "G", images_, this);
  ASSERT_TRUE(popup_);
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 400, 400, 50, 50, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  SetActiveWindow(other);
  EXPECT_TRUE(Pump([&] { return popup_ == nullptr; }));
  EXPECT_TRUE(selected_.empty());
  DestroyWindow(other);
}

}  // namespace
}  // namespace lg
