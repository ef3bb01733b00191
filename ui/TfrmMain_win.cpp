// The main window: creation, messages, timers, mouse input and the buttons.
#include "ui/TfrmMain.h"

#include <shellapi.h>
#include <windowsx.h>

#include "DeploymentDefaults.h"
#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "launch/Processes.h"
#include "launcher/ConfigBlock.h"
#include "launcher/Diagnostics.h"
#include "launcher/Settings.h"
#include "ui/TfrmMainProgram.h"

namespace lg {
namespace {

constexpr UINT kMoveByCaption = 0xF012;  // SC_MOVE | HTCAPTION
constexpr const wchar_t* kClassName = L"Client Launcher";

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

std::wstring WideFromGbk(const std::string& gbk) {
  return Wide(plat::Utf16FromGbk(gbk));
}

bool RegisterMainClass() {
  WNDCLASSEXW wc = {sizeof wc};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kClassName;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

TfrmMain::TfrmMain(TfrmMainOptions options)
    : options_(std::move(options)),
      model_([this] { return options_.clock ? options_.clock() : plat::TickCount(); },
             [this] { return client_ && client_->Request(_HubID); }) {
  if (options_.listHost.empty()) options_.listHost = defaults::kServerListHost;
  if (options_.listFallbackIp.empty()) options_.listFallbackIp = defaults::kServerListFallbackIp;
  if (options_.blockPath.empty()) options_.blockPath = LauncherPath();
}

TfrmMain::~TfrmMain() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  replies_.Close();
  client_.reset();  // ends the UDP worker before the list and the box go
}

bool TfrmMain::Create() {
  if (!RegisterMainClass()) return false;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kDesignedClientWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - kDesignedClientHeight) / 2;
  hwnd_ = CreateWindowExW(0, kClassName, Wide(options_.title).c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                          kDesignedClientWidth, kDesignedClientHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
  if (!hwnd_) return false;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));

  LogError("Form create begin");
  CreateControls();
  HookEvents();

  config_ = std::make_unique<TServerConfig>(nullptr);
  const HWND hwnd = hwnd_;
  replies_.SetWake([hwnd] { PostMessageW(hwnd, kServerListArrived, 0, 0); });
  client_ = std::make_unique<TServerListClient>();
  TServerConfig* config = config_.get();
  TLatestBox<TServerListResult>* replies = &replies_;
  client_->SetOnServerList([config, replies](const std::string& text) {
    // On the UDP worker: read the list here, change the window over there.
    plat::DebugOutput(text);
    replies->Put(ReadServerList(*config, text, ReadSetting(kKeyLastServer)));
  });
  client_->Start(options_.listHost, options_.listFallbackIp, options_.listPort);

  if (options_.readConfig) InitConfig(options_.blockPath);
  LogError("form create initconfig end");
  SetTimer(hwnd_, kRunTimer, 100, nullptr);
  SetTimer(hwnd_, kTimer1, 1000, nullptr);
  if (options_.runProgram) {
    program_ = std::make_unique<TfrmMainProgram>(*this);
    program_->FormCreate();
  }
  SetUpdateMode();
  ShowWindow(hwnd_, SW_SHOW);
  return true;
}

void TfrmMain::CreateControls() {
  for (int i = 0; i < kMainControlCount; ++i) {
    const TControlDesign& d = kMainControls[i];
    std::unique_ptr<skin::TLGControl> c;
    switch (d.kind) {
      case TControlKind::Picture: c = std::make_unique<skin::TLGPicture>(this); break;
      case TControlKind::Button: c = std::make_unique<skin::TLGButton>(this); break;
      case TControlKind::Label: c = std::make_unique<skin::TLGLabel>(this); break;
      case TControlKind::Progress: c = std::make_unique<skin::TLGProgress2>(this); break;
      case TControlKind::Browser: continue;  // the news browser is a real window of its own
    }
    skin::TLGFont font;
    font.Name = u"黑体";
    font.Size = skin::MulDiv(d.fontHeight, 72, 96);
    font.Color = d.fontColour;
    c->SetFont(font);
    if (d.centred) c->SetAlignment(skin::TAlignment::Center);
    dispatcher_.Add(c.get());
    controls_[i] = std::move(c);
  }
  Sync();
}

void TfrmMain::HookEvents() {
  using C = TMainControl;
  auto on = [this](C c, std::function<void()> f) {
    if (skin::TLGControl* control = Control(c)) control->OnClick = [f = std::move(f)](skin::TLGControl*) { f(); };
  };
  on(C::LGClose, [this] { PostMessageW(hwnd_, WM_CLOSE, 0, 0); });
  on(C::LGmin, [this] { PostMessageW(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 0); });
  for (C c : {C::LGBtn1, C::LGBtn2, C::LGBtn3, C::LGBtn4, C::LGBtn5, C::LGBtn6})
    Control(c)->OnClick = [this](skin::TLGControl* sender) { LGBtnClick(sender); };
  on(C::LGStart, [this] { LGStartClick(); });
  on(C::lbIngUpdate, [this] {
    SetReadyMode();
    RequestServerList();
  });
  on(C::LGLabel1, [this] { RequestServerList(); });
  on(C::btnSelServer, [this] { ShowServerPopup(); });
  on(C::lbCurSelSrv, [this] { ShowServerPopup(); });
  on(C::btnSelMem, [this] { ShowGroupPopup(); });
  on(C::lbMember, [this] { ShowGroupPopup(); });
  on(C::lbLstSelSrv, [this] {
    model_.LastServerClick();
    Sync();
  });
}

void TfrmMain::Sync() {
  for (int i = 0; i < kMainControlCount; ++i) {
    skin::TLGControl* c = controls_[i].get();
    if (!c) continue;
    const TControlState& s = model_.State(static_cast<TMainControl>(i));
    c->SetBounds(s.bounds.left, s.bounds.top, s.bounds.width, s.bounds.height);
    c->SetVisible(s.visible);
    c->SetEnabled(s.enabled);
    c->SetCaption(plat::GbkFromUtf16(s.caption));
    c->SetTag(s.tag);
    switch (kMainControls[i].kind) {
      case TControlKind::Button: static_cast<skin::TLGButton*>(c)->SetWideText(s.text); break;
      case TControlKind::Label: static_cast<skin::TLGLabel*>(c)->SetWideText(s.text); break;
      case TControlKind::Progress: {
        auto* bar = static_cast<skin::TLGProgress2*>(c);
        bar->SetMax(s.max);
        bar->SetPosition(s.position);
        break;
      }
      default: break;
    }
  }
}

void TfrmMain::SetUpdateMode() {
  model_.SetUpdateMode();
  Sync();
}

void TfrmMain::SetUpdatingMode() {
  model_.SetUpdatingMode();
  Sync();
}

void TfrmMain::SetReadyMode() {
  model_.SetReadyMode();
  Sync();
}

void TfrmMain::SelectServer(const TServerInfo& record) {
  model_.SelectServer(record);
  Sync();
}

void TfrmMain::SelectMember(const std::string& member) {
  model_.SelectMember(member);
  Sync();
}

void TfrmMain::LGStartClick() {
  if (program_) program_->LGStartClick();
}

void TfrmMain::UpdateTimerTimer() {
  if (program_) program_->UpdateTimerTimer();
}

void TfrmMain::RunTimerTimer() {
  if (!initialized_) {
    Initialize();
    // The install check and the first pass, once the window is composed.
    if (hwnd_ && program_) program_->Initialized();
    return;
  }
  // Later ticks watch the started game clients.
  if (program_) program_->ClientWatch();
}

bool TfrmMain::PreTranslateMessage(MSG* message) {
  return program_ && program_->ForwardKeyMessage(message);
}

void TfrmMain::Initialize() {
  initialized_ = true;
  LogError("initialize ResetComponentOffset begin");
  ResetComponentOffset();
  LogError("initialize ResetComponentOffset end");
  SetUpdateMode();
  LogError("initialize LoadImageresource begin");
  LoadImageresource();
  LogError("initialize LoadImageresource end");
  LogError("initialize PaintChilds begin");
  PaintChilds();
  if (!hwnd_) return;  // the composition failed and the window is gone
  LogError("initialize PaintChilds end");
  SetTimer(hwnd_, kUpdateTimer, 500, nullptr);
  KillTimer(hwnd_, kRunTimer);
}

void TfrmMain::LGBtnClick(skin::TLGControl* sender) {
  const char* url = nullptr;
  switch (sender->Tag()) {
    case 1: url = _HomePageUrl.c_str(); break;
    case 2: url = _BBSPageUrl.c_str(); break;
    case 3: url = _PayPageUrl.c_str(); break;
    case 4: ReleaseHandle(RunProcess(plat::ExecutablePath(), "/web:" + _RegistryPageUrl)); return;
    default: return;
  }
  // The wide call with the GBK text converted: the same page on a Chinese
  // system, and still the right one where the ANSI code page is not 936.
  ShellExecuteW(nullptr, L"open", WideFromGbk(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TfrmMain::PostToParent(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (hwnd_) PostMessageW(hwnd_, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

void TfrmMain::InvalidateArea(int left, int top, int width, int height) {
  if (!hwnd_) return;
  const RECT r = {left, top, left + width, top + height};
  InvalidateRect(hwnd_, &r, FALSE);
}

std::string TfrmMain::LauncherFolder() const {
  return lg::LauncherFolder();
}

void TfrmMain::FormHide() {
  hidden_ = true;
  // No taskbar button while hidden.
  SetWindowLongW(hwnd_, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
}

void TfrmMain::ShowRequest() {
  if (!IsIconic(hwnd_)) {
    ShowWindow(hwnd_, SW_SHOW);
    hidden_ = false;
    SetForegroundWindow(hwnd_);
  } else {
    ShowWindow(hwnd_, SW_RESTORE);
  }
}

void TfrmMain::MouseDown(int x, int y) {
  skin::TLGControl* target = dispatcher_.MouseDown(skin::TMouseButton::Left, x, y);
  if (dispatcher_.Capture()) SetCapture(hwnd_);
  if (target == nullptr || target == Control(TMainControl::picLogin) || target == Control(TMainControl::picSlogan)) {
    // The borderless window is dragged by its background and two pictures.
    ReleaseCapture();
    SendMessageW(hwnd_, WM_SYSCOMMAND, kMoveByCaption, 0);
  }
}

void TfrmMain::MouseUp(int x, int y) {
  dispatcher_.MouseUp(skin::TMouseButton::Left, x, y);
  if (!dispatcher_.Capture() && GetCapture() == hwnd_) ReleaseCapture();
}

void TfrmMain::MouseMove(int x, int y) {
  if (!trackingLeave_) {
    TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, hwnd_, 0};
    trackingLeave_ = TrackMouseEvent(&track) != 0;
  }
  dispatcher_.MouseMove(x, y);
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->Handle(msg, wParam, lParam);
}

LRESULT TfrmMain::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  // The update worker's messages, dropped once the window is closing.
  if (program_ && program_->UpdateMessage(msg, wParam, lParam)) return 0;
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd_, &ps);
      EndPaint(hwnd_, &ps);
      SetTimer(hwnd_, kPaintTimer, 10, nullptr);
      return 0;
    }
    case kRepaintRequest: {
      // Every request asks for the same picture: one composition serves all
      // that are already queued.
      MSG more;
      while (PeekMessageW(&more, hwnd_, kRepaintRequest, kRepaintRequest, PM_REMOVE)) {
      }
      PaintChilds();
      return 0;
    }
    case kShowRequest: ShowRequest(); return 0;
    case kServerListArrived: ServerListArrived(); return 0;
    case WM_TIMER:
      switch (wParam) {
        case kPaintTimer:
          KillTimer(hwnd_, kPaintTimer);
          PaintChilds();
          break;
        case kTimer1:
          model_.Timer1Tick();
          Sync();
          break;
        case kRunTimer: RunTimerTimer(); break;
        case kUpdateTimer: UpdateTimerTimer(); break;
      }
      return 0;
    case WM_LBUTTONDOWN: MouseDown(x, y); return 0;
    case WM_LBUTTONUP: MouseUp(x, y); return 0;
    case WM_RBUTTONDOWN: dispatcher_.MouseDown(skin::TMouseButton::Right, x, y); return 0;
    case WM_RBUTTONUP: dispatcher_.MouseUp(skin::TMouseButton::Right, x, y); return 0;
    case WM_MOUSEMOVE: MouseMove(x, y); return 0;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      dispatcher_.MouseLeaveWindow();
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hwnd_) dispatcher_.CaptureLost();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        bool hand = false;
        if (skin::TLGControl* hover = dispatcher_.Hover()) {
          for (int i = 0; i < kMainControlCount; ++i)
            if (controls_[i].get() == hover) hand = kMainControls[i].handCursor;
        }
        SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_SHOWWINDOW:
      // lParam 0: the window itself was hidden (not an owner's state change).
      if (!wParam && lParam == 0) FormHide();
      break;
    case WM_CLOSE:
      // FormCloseQuery: a running pass stops at once; closing is always allowed.
      if (program_) program_->CloseQuery();
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      if (program_) program_->Destroy();
      if (popup_) DestroyWindow(popup_->Handle());
      replies_.Close();
      for (UINT_PTR t : {kRunTimer, kUpdateTimer, kPaintTimer, kTimer1}) KillTimer(hwnd_, t);
      if (options_.quitOnDestroy) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      HWND hwnd = hwnd_;
      hwnd_ = nullptr;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

}  // namespace lg
