// The news page inside the main window (Windows only): invisible until its
// first document is complete, and every new window a page asks for goes to
// the user's default browser with the "crc" parameter instead. Under a
// system without an HTML engine it logs one line and stays hidden.
// Main thread; owned by the main window, whose window it borrows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace lg {

class TWebBrowserHost;

class TNewsBrowser {
 public:
  TNewsBrowser(intptr_t mainWindow, const std::string& address);
  ~TNewsBrowser();
  TNewsBrowser(const TNewsBrowser&) = delete;
  TNewsBrowser& operator=(const TNewsBrowser&) = delete;

  void SetBounds(int x, int y, int width, int height);
  void Show();
  bool ForwardKeyMessage(void* message);

  // The address a new window is sent to the default browser with.
  static std::string RedirectAddress(const std::string& url);

 private:
  std::unique_ptr<TWebBrowserHost> browser_;
  bool logged_ = false;
};

}  // namespace lg
