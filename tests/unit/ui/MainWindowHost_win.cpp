// main-window-host: shows the main window for the end-to-end test, with the
// skin of the block appended to this program, and reports what the window
// does in a small state file the test script polls (key=value lines,
// rewritten on every change).
//
//   main-window-host --state FILE [--list-port N] [--ready-after MS] [--title TEXT]
//
// --ready-after switches to ready mode and asks for the server list that
// many milliseconds after the deferred initialisation, as the end of the
// update passes does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Library/gdiplus/GdiplusSession.h"
#include "common/Platform.h"
#include "common/Socket.h"
#include "ui/TfrmMain.h"

namespace {

lg::TfrmMain* gWindow = nullptr;
std::string gStatePath;
std::string gLastState;
DWORD gReadyAfter = 0;
DWORD gInitializedAt = 0;
bool gReadyDone = false;

std::string Utf8(const std::u16string& text) {
  return lg::plat::Utf8FromGbk(lg::plat::GbkFromUtf16(text));
}

void Centre(std::ostringstream& out, const char* name, lg::TMainControl c) {
  const lg::TRect& b = gWindow->Model().State(c).bounds;
  out << name << "=" << b.left + b.width / 2 << " " << b.top + b.height / 2 << "\n";
}

void CALLBACK StateTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!gWindow || !gWindow->Handle()) return;
  using C = lg::TMainControl;
  if (gWindow->Initialized() && gInitializedAt == 0) gInitializedAt = GetTickCount();
  if (gInitializedAt != 0 && gReadyAfter != 0 && !gReadyDone && GetTickCount() - gInitializedAt >= gReadyAfter) {
    gReadyDone = true;
    gWindow->SetReadyMode();
    gWindow->RequestServerList();
  }
  lg::TMainWindowModel& m = gWindow->Model();
  std::ostringstream out;
  out << "initialized=" << (gWindow->Initialized() ? 1 : 0) << "\n";
  out << "mode=" << (m.State(C::LGStart).visible ? "ready" : "update") << "\n";
  out << "servers=" << m.ServerNames().size() << "\n";
  out << "current=" << m.CurrentServer().id << "\n";
  out << "current_name=" << Utf8(m.CurrentServer().name) << "\n";
  out << "member=" << lg::plat::Utf8FromGbk(m.CurrentMember()) << "\n";
  out << "pending=" << (m.RequestPending() ? 1 : 0) << "\n";
  if (lg::TfrmServerList* popup = gWindow->Popup()) {
    RECT r;
    GetWindowRect(popup->Handle(), &r);
    out << "popup=" << (popup->Rows().Mode() == lg::TPopupMode::Servers ? "servers" : "groups") << " "
        << popup->Rows().Count() << "\n";
    out << "popup_rect=" << r.left << " " << r.top << " " << r.right - r.left << " " << r.bottom - r.top << "\n";
  } else {
    out << "popup=none\n";
  }
  RECT w;
  GetWindowRect(gWindow->Handle(), &w);
  out << "window=" << w.left << " " << w.top << " " << w.right - w.left << " " << w.bottom - w.top << "\n";
  Centre(out, "btnSelServer", C::btnSelServer);
  Centre(out, "btnSelMem", C::btnSelMem);
  Centre(out, "LGClose", C::LGClose);
  Centre(out, "LGLabel1", C::LGLabel1);
  const std::string state = out.str();
  if (state == gLastState) return;
  gLastState = state;
  // Written whole, then renamed over the old one: the script never reads
  // half a file.
  const std::string temp = gStatePath + ".tmp";
  if (FILE* f = std::fopen(temp.c_str(), "wb")) {
    std::fwrite(state.data(), 1, state.size(), f);
    std::fclose(f);
    MoveFileExA(temp.c_str(), gStatePath.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

}  // namespace

int main(int argc, char** argv) {
  lg::TfrmMainOptions options;
  options.listHost = "127.0.0.1";
  options.listFallbackIp = "127.0.0.1";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--state") gStatePath = argv[i + 1];
    if (key == "--list-port") options.listPort = static_cast<uint16_t>(std::atoi(argv[i + 1]));
    if (key == "--ready-after") gReadyAfter = static_cast<DWORD>(std::atoi(argv[i + 1]));
    if (key == "--title") {
      const std::string title = argv[i + 1];
      options.title.assign(title.begin(), title.end());  // ASCII
    }
  }
  if (gStatePath.empty()) {
    std::fprintf(stderr, "usage: main-window-host --state FILE [--list-port N] [--ready-after MS] [--title TEXT]\n");
    return 2;
  }
  // The process entry's duties: the socket library and GDI+.
  if (lg::sock::LibraryStartup() != 0) return 1;
  lg::skin::TGdiplusSession gdiplus;
  if (!gdiplus.Ok()) return 1;
  lg::TfrmMain window(options);
  if (!window.Create()) return 1;
  gWindow = &window;
  SetTimer(nullptr, 0, 50, StateTimer);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  gWindow = nullptr;
  std::remove(gStatePath.c_str());
  lg::sock::LibraryCleanup();
  return 0;
}
