// The install-path dialog (Windows only): a small always-on-top dialog with
// the folder text, a "..." button that opens the system's folder browser
// and the "安装" button that accepts. Created hidden at start-up and shown
// modally by the install check. Main thread; owns its window.
#pragma once

#include <cstdint>
#include <string>

namespace lg {

class TForm1 {
 public:
  static constexpr int kClientWidth = 313;
  static constexpr int kClientHeight = 122;

  // `owner` (HWND) may be 0.
  explicit TForm1(intptr_t owner);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Shows the dialog and runs its messages until it closes; true when it
  // closed through Button2 ("安装"). A WM_QUIT met while it is shown ends
  // it without the OK result and is posted again for the outer loop.
  bool ShowModal();

  void SetCaption(const std::u16string& caption);
  std::u16string Caption() const;
  // Edit1's text, GBK.
  std::string Text() const;
  void SetText(const std::string& gbk);
  intptr_t Handle() const { return reinterpret_cast<intptr_t>(window_); }

  // Button1: the folder browser; a chosen folder replaces the text.
  void Button1Click();
  // Button2: ends the modal dialog with the OK result.
  void Button2Click();

 private:
  static intptr_t __stdcall WindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);

  void* window_ = nullptr;
  void* edit_ = nullptr;
  bool running_ = false;
  bool accepted_ = false;
};

}  // namespace lg
