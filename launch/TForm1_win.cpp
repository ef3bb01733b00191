#include "launch/TForm1.h"

#include <windows.h>

#include <shlobj.h>

#include "common/Platform.h"
#include "launch/GamePresent.h"

namespace lg {
namespace {

constexpr wchar_t kClassName[] = L"TForm1";
constexpr int kEdit1 = 101, kButton1 = 102, kButton2 = 103;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;

std::wstring Wide(const std::string& gbk) {
  std::u16string u = plat::Utf16FromGbk(gbk);
  return std::wstring(u.begin(), u.end());
}

void RegisterOnce() {
  static bool done = false;
  if (done) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = reinterpret_cast<WNDPROC>(&DefWindowProcW);
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  done = true;
}

}  // namespace

TForm1::TForm1(intptr_t owner) {
  RegisterOnce();
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  HWND hwnd = CreateWindowExW(kExStyle, kClassName, L"请设置游戏安装路径：", kStyle, x, y, w, h,
                              reinterpret_cast<HWND>(owner), nullptr, GetModuleHandleW(nullptr), nullptr);
  window_ = hwnd;
  if (!hwnd) return;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  HINSTANCE inst = GetModuleHandleW(nullptr);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 32, 24,
                          209, 21, hwnd, reinterpret_cast<HMENU>(kEdit1), inst, nullptr);
  HWND b1 = CreateWindowExW(0, L"BUTTON", L"...", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 248, 24, 49, 25,
                            hwnd, reinterpret_cast<HMENU>(kButton1), inst, nullptr);
  HWND b2 = CreateWindowExW(0, L"BUTTON", L"安装", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 104, 64, 97,
                            41, hwnd, reinterpret_cast<HMENU>(kButton2), inst, nullptr);
  for (HWND c : {static_cast<HWND>(edit_), b1, b2}) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}

TForm1::~TForm1() {
  if (window_) DestroyWindow(static_cast<HWND>(window_));
}

intptr_t __stdcall TForm1::WindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = static_cast<HWND>(window);
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case WM_COMMAND:
        if (LOWORD(wParam) == kButton1 && HIWORD(wParam) == BN_CLICKED) {
          self->Button1Click();
          return 0;
        }
        if (LOWORD(wParam) == kButton2 && HIWORD(wParam) == BN_CLICKED) {
          self->Button2Click();
          return 0;
        }
        break;
      case WM_CLOSE:
        // The close box ends the dialog without the OK result.
        self->running_ = false;
        ShowWindow(hwnd, SW_HIDE);
        return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool TForm1::ShowModal() {
  HWND hwnd = static_cast<HWND>(window_);
  if (!hwnd) return false;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  if (owner) EnableWindow(owner, FALSE);
  accepted_ = false;
  running_ = true;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd);
  SetFocus(static_cast<HWND>(edit_));
  MSG msg;
  while (running_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      running_ = false;
      break;
    }
    if (IsDialogMessageW(hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (owner) EnableWindow(owner, TRUE);
  ShowWindow(hwnd, SW_HIDE);
  return accepted_;
}

void TForm1::SetCaption(const std::u16string& caption) {
  SetWindowTextW(static_cast<HWND>(window_), reinterpret_cast<const wchar_t*>(caption.c_str()));
}

std::u16string TForm1::Caption() const {
  wchar_t buf[256] = {};
  GetWindowTextW(static_cast<HWND>(window_), buf, 256);
  return std::u16string(reinterpret_cast<const char16_t*>(buf));
}

std::string TForm1::Text() const {
  HWND edit = static_cast<HWND>(edit_);
  int n = GetWindowTextLengthW(edit);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(edit, w.data(), n + 1);
  w.resize(static_cast<size_t>(n));
  return plat::GbkFromUtf16(std::u16string(w.begin(), w.end()));
}

void TForm1::SetText(const std::string& gbk) {
  SetWindowTextW(static_cast<HWND>(edit_), Wide(gbk).c_str());
}

void TForm1::Button1Click() {
  // Rooted at the root of the current drive.
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  std::wstring root = std::wstring(current).substr(0, 3);
  PIDLIST_ABSOLUTE rootList = nullptr;
  SHParseDisplayName(root.c_str(), nullptr, &rootList, 0, nullptr);
  BROWSEINFOW bi{};
  bi.hwndOwner = static_cast<HWND>(window_);
  bi.pidlRoot = rootList;
  bi.lpszTitle = L"请设置要保存游戏的目录";
  bi.ulFlags = 0x41;  // file-system folders only, new dialog style
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&bi);
  if (chosen) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen, path))
      SetText(BrowsedFolderText(plat::GbkFromUtf16(reinterpret_cast<const char16_t*>(path))));
    CoTaskMemFree(chosen);
  }
  if (rootList) CoTaskMemFree(rootList);
}

void TForm1::Button2Click() {
  accepted_ = true;
  running_ = false;
}

}  // namespace lg
