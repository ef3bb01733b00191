// The main window with its program side in this process: the start button
// and the watch of started clients, with the stub client beside a prepared
// game folder and no deployment block (the update passes end at once).
#include <windows.h>
// The platform layer has its own DeleteFile.
#undef DeleteFile

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <functional>

#include "common/Deployment.h"
#include "common/Platform.h"
#include "launcher/Settings.h"
#include "launcher/TReplacementStep.h"
#include "tests/support/TestSupport.h"
#include "ui/TfrmMain.h"

namespace lg {
namespace {

using C = TMainControl;

std::string WinPath(const char* path) {
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p.size() > 1 && p[0] == '\\' ? "Z:" + p : p;
}

// Runs the window's messages until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(test::ScaledMs(ms));
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (static_cast<LONG>(end - GetTickCount()) <= 0) return false;
    Sleep(5);
  }
}

// The running stub client, opened so the test sees when it ends.
HANDLE OpenClientProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  HANDLE found = nullptr;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snapshot, &e); more && !found; more = Process32NextW(snapshot, &e))
    if (lstrcmpiW(e.szExeFile, L"Client.bin") == 0)
      found = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID);
  CloseHandle(snapshot);
  return found;
}

void SetEnv(const wchar_t* name, const std::string& value) {
  std::u16string w = plat::Utf16FromGbk(value);
  SetEnvironmentVariableW(name, value.empty() ? nullptr : reinterpret_cast<const wchar_t*>(w.c_str()));
}

class MainWindowProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = LauncherPath();
    SetLauncherPath(dir.File("launcher.exe"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("Vantrel.dll"), "x"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("d3dx9_43.dll"), "x"));
    ASSERT_TRUE(plat::ForceDirectories(dir.File("data")));
    ASSERT_TRUE(CopyWholeFileTo(WinPath(LG_CLIENT_STUB), dir.File("Client.bin")));
    SetEnv(L"LG_STUB_OUT", dir.File("lines.txt"));
    SetEnv(L"LG_STUB_EXIT", "0");
    SetEnv(L"LG_STUB_STAY_MS", "");
    TfrmMainOptions options;
    options.runProgram = true;
    options.quitOnDestroy = false;
    options.listHost = "127.0.0.1";
    options.listFallbackIp = "127.0.0.1";
    options.listPort = 9;  // nothing answers
    window = std::make_unique<TfrmMain>(options);
    ASSERT_TRUE(window->Create());
    hwnd = window->Handle();
    // Both passes end at once without addresses: ready mode.
    ASSERT_TRUE(PumpUntil([&] { return window->Model().State(C::LGStart).visible; }, 20000)) << "no ready mode";
  }
  void TearDown() override {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    PumpUntil([] { return false; }, 50);
    window.reset();
    SetLauncherPath(saved_);
    ClearDeploymentValues();
    SetEnv(L"LG_STUB_OUT", "");
  }
  void Select(int32_t id) {
    TServerInfo s;
    s.id = id;
    s.ip = "127.0.0.1";
    s.port = 7000;
    s.name = u"测试一区";
    window->SelectServer(s);
  }
  bool Lines(size_t n) { return test::ReadFileBytes(dir.File("lines.txt")).size() > 0 && CountLines() >= n; }
  size_t CountLines() {
    std::string all = test::ReadFileBytes(dir.File("lines.txt"));
    return static_cast<size_t>(std::count(all.begin(), all.end(), '\n'));
  }

  test::TTempDir dir;
  std::unique_ptr<TfrmMain> window;
  HWND hwnd = nullptr;
  std::string saved_;
};

TEST_F(MainWindowProgram, StartWithoutAServerDoesNothingAndWithOneStartsTheClient) {
  ASSERT_EQ(window->Model().CurrentServer().id, 0);
  window->LGStartClick();
  PumpUntil([] { return false; }, 800);
  EXPECT_FALSE(plat::FileExists(dir.File("lines.txt")));
  EXPECT_FALSE(plat::FileExists(dir.File("launcher.ini")));

  Select(5);
  window->LGStartClick();
  ASSERT_TRUE(PumpUntil([&] { return Lines(1); }, 10000));
  EXPECT_EQ(ReadSetting(kKeyLastServer), 5);
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(MainWindowProgram, HiddenLauncherClosesSoonAfterItsOnlyClientExitsWithZero) {
  SetEnv(L"LG_STUB_STAY_MS", "600");
  Select(6);
  ShowWindow(hwnd, SW_HIDE);
  PumpUntil([&] { return window->Hidden(); }, 2000);
  ASSERT_TRUE(window->Hidden());
  window->LGStartClick();
  ASSERT_TRUE(PumpUntil([&] { return Lines(1); }, 10000));
  HANDLE client = OpenClientProcess();
  ASSERT_NE(client, nullptr);
  EXPECT_TRUE(IsWindow(hwnd)) << "closed while the client still ran";
  ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(client, 0) == WAIT_OBJECT_0; }, 10000));
  CloseHandle(client);
  const DWORD exited = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 3000));
  // One 100 ms tick, plus the thread's end reaching the process table.
  EXPECT_LE(GetTickCount() - exited, static_cast<DWORD>(test::ScaledMs(400)));
}

TEST_F(MainWindowProgram, AClientThatFailsKeepsAHiddenLauncherRunning) {
  SetEnv(L"LG_STUB_EXIT", "3");
  Select(7);
  ShowWindow(hwnd, SW_HIDE);
  PumpUntil([&] { return window->Hidden(); }, 2000);
  window->LGStartClick();
  ASSERT_TRUE(PumpUntil([&] { return Lines(1); }, 10000));
  // Long after the stub has ended with 3, its record is still watched.
  PumpUntil([] { return false; }, 1500);
  EXPECT_TRUE(IsWindow(hwnd));
}

}  // namespace
}  // namespace lg
