// Process entry of the launcher: the thread locale, the web page viewer,
// the replacement step, the leftover file of an installation, the
// single-instance test and then the normal start.
#include <windows.h>
// The platform layer has its own DeleteFile.
#undef DeleteFile

#include <shellapi.h>

#include <string>
#include <vector>

#include "common/Platform.h"
#include "common/Socket.h"
#include "launcher/StartArguments.h"
#include "launcher/app/StartModes.h"
#include "ui/TfrmMain.h"

namespace {

// The command line items as the platform parses them, in GBK.
std::vector<std::string> CommandLineItems() {
  std::vector<std::string> items;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return items;
  for (int i = 0; i < count; ++i) items.push_back(lg::plat::GbkFromUtf16(reinterpret_cast<const char16_t*>(argv[i])));
  LocalFree(argv);
  return items;
}

// `path` made absolute against the current folder, "." and ".." resolved;
// the text unchanged when the system cannot do it.
std::string FullPath(const std::string& path) {
  const std::u16string wide = lg::plat::Utf16FromGbk(path);
  const wchar_t* text = reinterpret_cast<const wchar_t*>(wide.c_str());
  std::wstring buf(MAX_PATH, L'\0');
  for (int tries = 0; tries < 4; ++tries) {
    const DWORD n = GetFullPathNameW(text, static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0) return path;
    if (n < buf.size()) {
      buf.resize(n);
      return lg::plat::GbkFromUtf16(std::u16string(buf.begin(), buf.end()));
    }
    buf.resize(n + 1);
  }
  return path;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SetThreadLocale(0x0804);
  const std::vector<std::string> items = CommandLineItems();

  // The viewer runs on its own: no single-instance test, no main window.
  std::string address;
  if (lg::FindWebAddress(items, address)) return lg::RunWebPageMode(address);

  const lg::TStartArguments args = lg::ReadStartArguments(items);
  if (lg::IsReplacementName(args.ExeExt)) return lg::RunReplacementMode();

  // The downloaded copy that installed this one, by the full path it passed.
  const std::string leftover = lg::LeftoverPath(args, lg::plat::ExecutablePath(), FullPath);
  if (!leftover.empty()) {
    lg::TLeftoverFiles files{[](const std::string& p) { return lg::plat::FileExists(p); },
                             [](const std::string& p) { return lg::plat::DeleteFile(p); },
                             [](uint32_t ms) { lg::plat::SleepMs(ms); }};
    lg::DeleteLeftover(leftover, files);
  }

  if (HWND running = FindWindowW(L"Client Launcher", nullptr)) {
    PostMessageW(running, lg::TfrmMain::kShowRequest, 0, 0);
    if (IsIconic(running))
      ShowWindow(running, SW_RESTORE);
    else
      SetForegroundWindow(running);
    return 0;
  }
  // The sockets of the server list, the probes and the update passes.
  if (lg::sock::LibraryStartup() != 0) lg::plat::DebugOutput("socket library did not start");
  const int code = lg::RunNormalMode();
  lg::sock::LibraryCleanup();
  return code;
}
