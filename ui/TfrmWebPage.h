// The web page window (Windows only; no system headers here): a fixed
// dialog-style frame "加载页面" with a client area of 457 x 558, centred,
// holding one browser over its whole client area. It shows a loading text,
// then the address; an address containing "#close" (any letter case)
// closes it, the page title becomes its caption, Esc closes it even while
// the browser has the focus, script errors continue and the page's resize
// requests are ignored. A browser that never completes a document (no HTML
// engine) is logged once and the window stays, blank, until closed.
//
// Main thread only; owns its window and browser.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace lg {

class TWebBrowserHost;

class TfrmWebPage {
 public:
  static constexpr int kClientWidth = 457;
  static constexpr int kClientHeight = 558;
  // Time for the blank page before the window goes on without it.
  static constexpr uint32_t kBlankPageLimitMs = 3000;

  TfrmWebPage();
  ~TfrmWebPage();
  TfrmWebPage(const TfrmWebPage&) = delete;
  TfrmWebPage& operator=(const TfrmWebPage&) = delete;

  // Creates the window (hidden) and starts loading `address`.
  bool Create(const std::string& address);
  // Shows the window and runs its messages until it closes.
  void ShowModal();
  intptr_t Handle() const { return reinterpret_cast<intptr_t>(window_); }

 private:
  static intptr_t __stdcall WindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);
  void BlankPageDone();
  void NoPage(const std::string& why);

  void* window_ = nullptr;
  std::unique_ptr<TWebBrowserHost> browser_;
  std::string address_;
  bool blankPhase_ = true;
  bool noPageLogged_ = false;
  bool running_ = false;
};

}  // namespace lg
