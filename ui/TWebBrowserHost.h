// A hand-written OLE container for the system's web browser control
// (Windows only; no system headers here): client site, in-place site and
// frame, the document host's user-interface handler (the seven host flags,
// no context menu anywhere, script errors answered with "continue") and the
// browser's event sink. Used by the news browser of the main window and by
// the web page window.
//
// Main thread only: the control raises its events there, inside the
// message loop. The host owns the control and its site; the parent window
// is borrowed and must outlive it. Event handlers may call Navigate but
// must not destroy the host.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace lg {

class TWebBrowserHost {
 public:
  struct TEvents {
    // Before each navigation; setting `cancel` stops it.
    std::function<void(const std::string& url, bool& cancel)> BeforeNavigate;
    std::function<void(const std::string& url)> DocumentComplete;
    std::function<void(const std::u16string& title)> TitleChange;
    // A page asks for a new window; `cancel` keeps the control from opening one.
    std::function<void(const std::string& url, bool& cancel)> NewWindow;
    std::function<void(const std::string& url, int32_t status)> NavigateError;
  };

  // The document host flags: dialog-like (no text selection), no 3-D
  // border, no scroll bars, new windows as events, form auto-completion,
  // themed controls, windowed select controls.
  static constexpr uint32_t kHostFlags = 0x1u | 0x4u | 0x8u | 0x20u | 0x4000u | 0x40000u | 0x10000000u;

  TWebBrowserHost(intptr_t parentWindow, TEvents events);
  ~TWebBrowserHost();
  TWebBrowserHost(const TWebBrowserHost&) = delete;
  TWebBrowserHost& operator=(const TWebBrowserHost&) = delete;

  // The control was created and activated in place.
  bool Created() const;
  void SetBounds(int x, int y, int width, int height);
  void SetVisible(bool visible);
  bool Visible() const;
  bool Navigate(const std::string& url);
  // Writes a line of GBK text into the current document; false without one.
  bool WriteLine(const std::string& text);
  // A keyboard message (MSG*) for the control: true when it took it, so
  // Tab and the page's own keys work inside the control. Messages for
  // windows outside the control are never taken.
  bool ForwardKeyMessage(void* message);
  // The control's own window, or a child of it, has the focus.
  bool HasFocus() const;

 private:
  class TSite;
  std::unique_ptr<TSite> site_;
};

}  // namespace lg
