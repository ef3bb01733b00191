// Stand-in game client. Reads its behaviour from the environment:
//   LG_STUB_OUT      file to which its command line (GetCommandLineW) is
//                    appended as one UTF-8 line
//   LG_STUB_EXIT     exit code (default 0)
//   LG_STUB_STAY_MS  milliseconds to stay alive before exiting (default 0,
//                    at most ten minutes)
//   LG_STUB_WINDOW   "1": show a small window naming the server of the
//                    "/servername:" argument while it stays
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void AppendLine(const std::wstring& path, const std::string& line) {
  // Several stubs may write at once: each line goes in one append.
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string data = line + "\n";
  DWORD written = 0;
  WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(f);
}

std::wstring ServerName(const std::wstring& commandLine) {
  const std::wstring marker = L"/servername:";
  size_t at = commandLine.find(marker);
  if (at == std::wstring::npos) return {};
  at += marker.size();
  size_t end = commandLine.find(L" /lauName:", at);
  return commandLine.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  const std::wstring out = Env(L"LG_STUB_OUT");
  if (!out.empty()) AppendLine(out, Utf8(commandLine));
  const int exitCode = _wtoi(Env(L"LG_STUB_EXIT").c_str());
  long stay = _wtol(Env(L"LG_STUB_STAY_MS").c_str());
  if (stay < 0) stay = 0;
  if (stay > 600000) stay = 600000;

  HWND window = nullptr;
  if (Env(L"LG_STUB_WINDOW") == L"1") {
    std::wstring title = L"Client: " + ServerName(commandLine);
    window = CreateWindowExW(0, L"STATIC", title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, CW_USEDEFAULT,
                             CW_USEDEFAULT, 320, 80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  const DWORD until = GetTickCount() + static_cast<DWORD>(stay);
  while (static_cast<LONG>(until - GetTickCount()) > 0) {
    DWORD left = until - GetTickCount();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left > 50 ? 50 : left, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  if (window) DestroyWindow(window);
  return exitCode;
}
