// The main window under Wine: a skin of solid colours packed into a block,
// the window composed off-screen and read back, clicks sent as window
// messages, and the server list served by an in-process service.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/Deployment.h"
#include "common/Gbk.h"
#include "launcher/SkinLayout.h"
#include "tests/support/BmpBytes.h"
#include "tests/support/TestSupport.h"
#include "tools/launcher-block/BlockPacker.h"
#include "tools/serverlist-service/TServerListService.h"
#include "launch/Processes.h"
#include "launcher/TReplacementStep.h"
#include "ui/TfrmMain.h"

namespace lg {
namespace {

using C = TMainControl;

constexpr uint32_t kBackground = 0xFF102030;
// One colour per image, told apart by the index in the low bits.
uint32_t ImageColour(int image) {
  return 0xFF000000u | (static_cast<uint32_t>(40 + image * 6) << 16) | (0x80u << 8) | static_cast<uint32_t>(image);
}

uint32_t Pixel(Gdiplus::Bitmap& b, int x, int y) {
  Gdiplus::Color c;
  b.GetPixel(x, y, &c);
  return c.GetValue();
}

void PutInt(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Positions: the designed geometry, except picSlogan, which moves.
constexpr TRect kSloganAt = {20, 300, 193, 33};

std::string SkinnedFile() {
  blocktool::TSections s;
  s.url =
      Gbk("0 1001 测试 http://127.0.0.1/p http://127.0.0.1/l http://127.0.0.1/home http://127.0.0.1/reg "
          "http://127.0.0.1/bbs http://127.0.0.1/pay http://127.0.0.1/news");
  for (int i = 0; i < kImageCount; ++i) {
    int w = 40, h = 20;
    const std::string name = kImageNames[i];
    if (name == "background") w = 1002, h = 642;
    if (name.rfind("Progress", 0) == 0) w = 839, h = 17;
    if (name.rfind("server_bk", 0) == 0) w = 243, h = 32;
    if (name == "frm_login") w = 302, h = 412;
    if (name == "pic_slogan") w = 193, h = 33;
    if (name.rfind("btn_start", 0) == 0) w = 266, h = 86;
    const std::string bmp = test::SolidBmp(w, h, name == "background" ? kBackground : ImageColour(i));
    PutInt(s.res, static_cast<uint32_t>(bmp.size()), 4);
    s.res += bmp;
  }
  for (int r = 0; r < kPositionRecordCount; ++r) {
    TRect b = {0, 0, 1002, 642};
    if (auto c = ControlByName(kPositionRecords[r].control)) b = Design(*c).bounds;
    if (std::string(kPositionRecords[r].control) == "wb") b = {20, 80, 600, 360};
    if (std::string(kPositionRecords[r].control) == "picSlogan") b = kSloganAt;
    for (int v : {b.left, b.top, b.width, b.height}) PutInt(s.pos, static_cast<uint16_t>(v), 2);
  }
  const std::string program(4096, 'P');
  std::string block, error;
  EXPECT_TRUE(blocktool::ComposeBlock(static_cast<int64_t>(program.size()), s, block, error)) << error;
  return program + block;
}

int ImageIndex(const char* name) {
  for (int i = 0; i < kImageCount; ++i)
    if (std::string(kImageNames[i]) == name) return i;
  return -1;
}

class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { session_ = new skin::TGdiplusSession(); }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(session_->Ok());
    ASSERT_TRUE(test::WriteFileBytes(dir_.File("skinned.exe"), SkinnedFile()));
    savedLauncher_ = LauncherPath();
    SetLauncherPath(dir_.File("skinned.exe"));  // launcher.ini beside it
  }
  void TearDown() override {
    window_.reset();
    Pump([] { return false; }, 2);
    SetLauncherPath(savedLauncher_);
  }

  void Open(uint16_t listPort = 9) {
    TfrmMainOptions o;
    o.listHost = "127.0.0.1";
    o.listFallbackIp = "127.0.0.1";
    o.listPort = listPort;
    o.blockPath = dir_.File("skinned.exe");
    o.quitOnDestroy = false;
    o.clock = [this] { return now_.load(); };
    window_ = std::make_unique<TfrmMain>(o);
    ASSERT_TRUE(window_->Create());
    window_->Initialize();
    ASSERT_TRUE(window_->Handle());
  }

  template <class Done>
  bool Pump(Done done, int rounds = 300) {
    for (int i = 0; i < rounds && !done(); ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(10);
    }
    return done();
  }

  // A left click at the centre of a control, as the system delivers it.
  void Click(C c) {
    const TRect& b = window_->Model().State(c).bounds;
    const LPARAM at = MAKELPARAM(b.left + b.width / 2, b.top + b.height / 2);
    SendMessageW(window_->Handle(), WM_MOUSEMOVE, 0, at);
    SendMessageW(window_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(window_->Handle(), WM_LBUTTONUP, 0, at);
  }

  uint32_t At(C c, int dx = 3, int dy = 3) {
    std::unique_ptr<Gdiplus::Bitmap> picture = window_->Compose();
    if (!picture) return 0;
    const TRect& b = window_->Model().State(c).bounds;
    return Pixel(*picture, b.left + dx, b.top + dy);
  }

  static inline skin::TGdiplusSession* session_ = nullptr;
  test::TTempDir dir_;
  std::string savedLauncher_;
  std::atomic<uint32_t> now_{100000};
  std::unique_ptr<TfrmMain> window_;
};

TEST_F(MainWindow, SkinSetsTheClientSizePositionsAndDeploymentValues) {
  Open();
  EXPECT_EQ(window_->ClientWidth(), 1002);
  EXPECT_EQ(window_->ClientHeight(), 642);
  RECT client;
  GetClientRect(window_->Handle(), &client);
  EXPECT_EQ(client.right, 1002);
  EXPECT_EQ(client.bottom, 642);
  wchar_t cls[64] = {};
  GetClassNameW(window_->Handle(), cls, 64);
  EXPECT_STREQ(cls, L"Client Launcher");
  EXPECT_EQ(GetWindowLongW(window_->Handle(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_EQ(_HubID, "1001");
  EXPECT_EQ(window_->Model().State(C::picSlogan).bounds, kSloganAt);
  EXPECT_EQ(window_->Model().State(C::NewsBrowser).bounds, (TRect{20, 80, 600, 360}));
  EXPECT_EQ(window_->Control(C::LGBtn3)->Tag(), 3);
  EXPECT_FALSE(window_->Control(C::LGStart)->Enabled());
}

TEST_F(MainWindow, UpdateModeShowsProgressAndHidesTheServerArea) {
  Open();
  std::unique_ptr<Gdiplus::Bitmap> picture = window_->Compose();
  ASSERT_TRUE(picture);
  EXPECT_EQ(Pixel(*picture, 2, 2), kBackground);
  EXPECT_EQ(Pixel(*picture, kSloganAt.left + 5, kSloganAt.top + 5), ImageColour(ImageIndex("pic_slogan")));
  // Both bars at 50 of 100: the fill image over the left half, the
  // background image to the right of it.
  const TRect bar = window_->Model().State(C::LGPTotal).bounds;
  EXPECT_EQ(Pixel(*picture, bar.left + 10, bar.top + 5), ImageColour(ImageIndex("Progress_all")));
  EXPECT_EQ(Pixel(*picture, bar.left + bar.width - 10, bar.top + 5), ImageColour(ImageIndex("Progress_bk")));
  // Start button and login panel hidden: the background shows there.
  EXPECT_EQ(At(C::LGStart, 20, 20), kBackground);
  EXPECT_EQ(At(C::btnSelServer), kBackground);
}

TEST_F(MainWindow, ReadyModeShowsTheStartButtonAndItsStates) {
  Open();
  window_->SetReadyMode();
  EXPECT_EQ(At(C::LGStart, 20, 20), ImageColour(ImageIndex("btn_start_normal")));
  EXPECT_EQ(At(C::picLogin, 1, 1), ImageColour(ImageIndex("frm_login")));
  const TRect b = window_->Model().State(C::LGStart).bounds;
  SendMessageW(window_->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(b.left + 5, b.top + 5));
  EXPECT_EQ(At(C::LGStart, 20, 20), ImageColour(ImageIndex("btn_start_active")));
  SendMessageW(window_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b.left + 5, b.top + 5));
  EXPECT_EQ(At(C::LGStart, 20, 20), ImageColour(ImageIndex("btn_start_down")));
  SendMessageW(window_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(b.left + 5, b.top + 5));
  window_->SetUpdatingMode();  // disabled beats hover
  window_->Model().State(C::LGStart).visible = true;
  window_->Sync();
  EXPECT_EQ(At(C::LGStart, 20, 20), ImageColour(ImageIndex("btn_start_disable")));
}

TEST_F(MainWindow, HidingMarksTheWindowAndTheShowRequestBringsItBack) {
  Open();
  EXPECT_EQ(SendMessageW(window_->Handle(), WM_ERASEBKGND, 0, 0), 1);
  ShowWindow(window_->Handle(), SW_HIDE);
  EXPECT_TRUE(window_->Hidden());
  EXPECT_NE(GetWindowLongW(window_->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  SendMessageW(window_->Handle(), TfrmMain::kShowRequest, 0, 0);
  EXPECT_FALSE(window_->Hidden());
  EXPECT_TRUE(IsWindowVisible(window_->Handle()));
}

TEST_F(MainWindow, SkipLabelEntersReadyModeAndRefreshIsSpaced) {
  Open();
  window_->Model().State(C::lbIngUpdate).visible = true;  // offered after a failed manifest
  window_->Sync();
  Click(C::lbIngUpdate);
  EXPECT_TRUE(window_->Model().State(C::LGStart).visible);
  EXPECT_FALSE(window_->Model().State(C::LGPTotal).visible);
  EXPECT_TRUE(window_->Model().RequestPending());
  EXPECT_FALSE(window_->Control(C::LGLabel1)->Visible());
  now_ += 10001;
  SendMessageW(window_->Handle(), WM_TIMER, TfrmMain::kTimer1, 0);
  EXPECT_TRUE(window_->Control(C::LGLabel1)->Visible());
  Click(C::LGLabel1);
  EXPECT_FALSE(window_->Control(C::LGLabel1)->Visible());
}

TEST_F(MainWindow, MinimiseButtonMinimisesAndTheShowRequestRestores) {
  Open();
  window_->SetReadyMode();
  Click(C::LGmin);
  ASSERT_TRUE(Pump([&] { return IsIconic(window_->Handle()) != 0; }));
  SendMessageW(window_->Handle(), TfrmMain::kShowRequest, 0, 0);
  EXPECT_TRUE(Pump([&] { return IsIconic(window_->Handle()) == 0; }));
}

TEST_F(MainWindow, CloseButtonDestroysTheWindow) {
  Open();
  Click(C::LGClose);
  EXPECT_TRUE(Pump([&] { return window_->Handle() == nullptr; }));
}

TEST(RunProcess, StartsAProgramWithItsArgumentsInTheLaunchersFolder) {
  test::TTempDir dir;
  const std::string saved = LauncherPath();
  SetLauncherPath(dir.File("launcher.exe"));
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  // The launcher starts programs of its own folder (itself, the client, its
  // ".update" copy), in that folder. cmd writes the folder it runs in into a
  // file there.
  ASSERT_TRUE(CopyWholeFileTo(std::string(system) + "\\cmd.exe", dir.File("cmd.exe")));
  const intptr_t started = RunProcess(dir.File("cmd.exe"), "/c echo %CD%>out.txt");
  ASSERT_GT(started, 0);
  ReleaseHandle(started);
  std::string text;
  for (int i = 0; i < 300 && text.empty(); ++i) {
    Sleep(10);
    text = test::ReadFileBytes(dir.File("out.txt"));
  }
  SetLauncherPath(saved);
  // The folder's own name (the path without its trailing separator).
  std::string folder = dir.Path().substr(0, dir.Path().size() - 1);
  folder = folder.substr(folder.find_last_of("\\/") + 1);
  EXPECT_NE(text.find(folder), std::string::npos) << text;
  EXPECT_EQ(RunProcess(dir.File("missing.exe"), ""), 0);
}

// A server list served over UDP on 127.0.0.1.
class MainWindowWithService : public MainWindow {
 protected:
  void SetUp() override {
    MainWindow::SetUp();
    WriteList(R"({"id":1,"name":"推荐一区","recommend":2,"default":1,"member":"推荐"},)"
              R"({"id":2,"name":"电信一区","opentime":1,"member":"电信"},)"
              R"({"id":3,"name":"电信二区","opentime":2,"member":"电信"})");
    TServerListServiceOptions o;
    o.listPath = dir_.File("servers.json");
    o.port = 0;
    service_ = std::make_unique<TServerListService>(o, [](const std::string&) {});
    std::string error;
    ASSERT_TRUE(service_->Load(error)) << error;
    ASSERT_TRUE(service_->Open(error)) << error;
    thread_ = std::thread([this] { service_->Run(stop_); });
  }
  void TearDown() override {
    MainWindow::TearDown();
    stop_ = true;
    thread_.join();
  }
  void WriteList(const std::string& servers) {
    ASSERT_TRUE(test::WriteFileBytes(dir_.File("servers.json"), "{\"server\":[" + servers + "]}"));
  }
  bool WaitForNames(size_t count) {
    return Pump([&] { return window_->Model().ServerNames().size() == count; });
  }

  std::unique_ptr<TServerListService> service_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(MainWindowWithService, ReplyFillsTheListAndRestoresTheDefaultServer) {
  Open(service_->Port());
  window_->SetReadyMode();
  window_->RequestServerList();
  ASSERT_TRUE(WaitForNames(3));
  EXPECT_FALSE(window_->Model().RequestPending());
  EXPECT_TRUE(window_->Control(C::LGLabel1)->Visible());
  EXPECT_EQ(window_->Model().CurrentServer().id, 1);  // no "lastserver": the default
  EXPECT_EQ(static_cast<skin::TLGLabel*>(window_->Control(C::lbLstSelSrv))->WideText(),
            plat::Utf16FromGbk(Gbk("推荐一区")));
  EXPECT_TRUE(window_->Control(C::LGStart)->Enabled());
}

TEST_F(MainWindowWithService, GroupPopupThenServerPopupFromClicks) {
  Open(service_->Port());
  window_->SetReadyMode();
  window_->RequestServerList();
  ASSERT_TRUE(WaitForNames(3));
  Click(C::btnSelMem);
  ASSERT_TRUE(window_->Popup());
  EXPECT_EQ(window_->Popup()->Rows().Count(), 2);
  HWND list = window_->Popup()->List();
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(20, 40));
  SendMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(window_->Model().CurrentMember(), Gbk("电信"));
  EXPECT_EQ(window_->Model().CurrentServer().id, 3);  // the group's last server
  ASSERT_TRUE(Pump([&] { return window_->Popup() == nullptr; }));

  Click(C::btnSelServer);
  ASSERT_TRUE(window_->Popup());
  RECT r;
  GetWindowRect(window_->Popup()->Handle(), &r);
  POINT below = {
      window_->Model().State(C::lbCurSelSrv).bounds.left,
      window_->Model().State(C::lbCurSelSrv).bounds.top + window_->Model().State(C::lbCurSelSrv).bounds.height};
  ClientToScreen(window_->Handle(), &below);
  EXPECT_EQ(r.left, below.x);
  EXPECT_EQ(r.top, below.y);
  EXPECT_EQ(r.bottom - r.top, 66);
}

TEST_F(MainWindowWithService, ANewListWhileThePopupIsOpenKeepsThePopupsRows) {
  Open(service_->Port());
  window_->SetReadyMode();
  window_->RequestServerList();
  ASSERT_TRUE(WaitForNames(3));
  window_->SelectServer(window_->Model().ServerNames()[1].record);  // group 电信
  Click(C::lbCurSelSrv);
  ASSERT_TRUE(window_->Popup());
  HWND list = window_->Popup()->List();
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(20, 40));  // 电信二区

  WriteList(R"({"id":9,"name":"新区","member":"新"},{"id":8,"name":"新二区","member":"新"})");
  now_ += 5000;
  window_->RequestServerList();
  ASSERT_TRUE(WaitForNames(2));
  ASSERT_TRUE(window_->Popup()) << "the popup stays open over the new list";
  InvalidateRect(list, nullptr, TRUE);
  UpdateWindow(list);  // redraws the rows it was opened with

  SendMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(window_->Model().CurrentServer().id, 3);
  EXPECT_EQ(window_->Model().CurrentServer().name, plat::Utf16FromGbk(Gbk("电信二区")));
  EXPECT_EQ(window_->Model().ServerNames()[0].record.id, 9);
}

}  // namespace
}  // namespace lg
