#include "ui/TfrmWebPage.h"

#include <windows.h>

#include "common/Platform.h"
#include "launcher/Diagnostics.h"
#include "ui/TWebBrowserHost.h"
#include "ui/WebPageRules.h"

namespace lg {
namespace {

constexpr wchar_t kClassName[] = L"TfrmWebPage";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME | WS_CLIPCHILDREN;
constexpr UINT_PTR kBlankTimer = 1;

}  // namespace

TfrmWebPage::TfrmWebPage() = default;

TfrmWebPage::~TfrmWebPage() {
  browser_.reset();
  if (window_) DestroyWindow(static_cast<HWND>(window_));
}

bool TfrmWebPage::Create(const std::string& address) {
  address_ = address;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = reinterpret_cast<WNDPROC>(&WindowProc);
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HWND hwnd = CreateWindowExW(0, kClassName, L"加载页面", kStyle, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                              (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr, wc.hInstance, this);
  if (!hwnd) return false;
  window_ = hwnd;

  TWebBrowserHost::TEvents events;
  events.BeforeNavigate = [this](const std::string& url, bool& cancel) {
    if (!IsCloseAddress(url)) return;
    cancel = true;
    PostMessageW(static_cast<HWND>(window_), WM_CLOSE, 0, 0);
  };
  events.TitleChange = [this](const std::u16string& title) {
    SetWindowTextW(static_cast<HWND>(window_), reinterpret_cast<const wchar_t*>(title.c_str()));
  };
  events.DocumentComplete = [this](const std::string&) {
    if (blankPhase_) BlankPageDone();
  };
  events.NavigateError = [this](const std::string& url, int32_t status) {
    NoPage("navigation to " + url + " failed (" + std::to_string(status) + ")");
    if (blankPhase_) {
      blankPhase_ = false;
      KillTimer(static_cast<HWND>(window_), kBlankTimer);
      browser_->Navigate(address_);
    }
  };
  browser_ = std::make_unique<TWebBrowserHost>(reinterpret_cast<intptr_t>(hwnd), std::move(events));
  if (!browser_->Created()) {
    NoPage("browser control not available");
    return true;
  }
  browser_->SetBounds(0, 0, kClientWidth, kClientHeight);
  SetTimer(hwnd, kBlankTimer, kBlankPageLimitMs, nullptr);
  browser_->Navigate("about:blank");
  return true;
}

void TfrmWebPage::BlankPageDone() {
  blankPhase_ = false;
  KillTimer(static_cast<HWND>(window_), kBlankTimer);
  browser_->WriteLine(LoadingText());
  browser_->Navigate(address_);
}

void TfrmWebPage::NoPage(const std::string& why) {
  if (noPageLogged_) return;
  noPageLogged_ = true;
  LogError("web page window: no page shown, " + why);
}

void TfrmWebPage::ShowModal() {
  HWND hwnd = static_cast<HWND>(window_);
  if (!hwnd) return;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd);
  running_ = true;
  MSG msg;
  while (running_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    const bool ours = msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd);
    // The window sees keys before the browser does.
    if (ours && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      PostMessageW(hwnd, WM_CLOSE, 0, 0);
      continue;
    }
    if (ours && browser_ && browser_->ForwardKeyMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

intptr_t __stdcall TfrmWebPage::WindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = static_cast<HWND>(window);
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TfrmWebPage*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case WM_TIMER:
        if (wParam == kBlankTimer && self->blankPhase_) {
          KillTimer(hwnd, kBlankTimer);
          self->NoPage("no document within " + std::to_string(kBlankPageLimitMs) + " ms");
          self->blankPhase_ = false;
          self->browser_->Navigate(self->address_);
        }
        return 0;
      case WM_CHAR:
        if (wParam == 27) {
          PostMessageW(hwnd, WM_CLOSE, 0, 0);
          return 0;
        }
        break;
      case WM_CLOSE:
        self->running_ = false;
        ShowWindow(hwnd, SW_HIDE);
        return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace lg
