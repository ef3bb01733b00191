// The launcher program and the game start under Wine: real processes of
// launcher.exe and the stub client, real windows, files and registry keys.
#include <windows.h>
// The platform layer has its own DeleteFile.
#undef DeleteFile

#include <gtest/gtest.h>

#include <functional>

#include "common/Deployment.h"
#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "launch/ClientCommandLine.h"
#include "launch/GamePresent.h"
#include "launch/InstallLocation.h"
#include "launch/LaunchClient.h"
#include "launch/Processes.h"
#include "launcher/Settings.h"
#include "launcher/TReplacementStep.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

// A build path as the Windows side sees it (Wine maps / to Z:).
std::string WinPath(const char* path) {
  std::string p = path;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p.size() > 1 && p[0] == '\\' ? "Z:" + p : p;
}

const std::string kLauncherExe = WinPath(LG_LAUNCHER_EXE);
const std::string kClientStub = WinPath(LG_CLIENT_STUB);

bool WaitUntil(const std::function<bool()>& done, int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(test::ScaledMs(ms));
  while (!done()) {
    if (static_cast<LONG>(end - GetTickCount()) <= 0) return done();
    Sleep(20);
  }
  return true;
}

bool WaitThread(intptr_t thread, int ms) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(thread), static_cast<DWORD>(test::ScaledMs(ms))) == WAIT_OBJECT_0;
}

struct TFoundWindow {
  HWND window;
  DWORD process;
};

struct TClassQuery {
  const wchar_t* name;
  std::vector<TFoundWindow> found;
};

BOOL CALLBACK CollectClass(HWND w, LPARAM p) {
  auto* q = reinterpret_cast<TClassQuery*>(p);
  wchar_t name[128] = {};
  GetClassNameW(w, name, 128);
  if (lstrcmpW(name, q->name) == 0) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    q->found.push_back({w, pid});
  }
  return TRUE;
}

std::vector<TFoundWindow> WindowsOfClass(const wchar_t* className) {
  TClassQuery query{className, {}};
  EnumWindows(&CollectClass, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

struct TProcessQuery {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND w, LPARAM p) {
  auto* q = reinterpret_cast<TProcessQuery*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == q->pid && IsWindowVisible(w)) q->found.push_back(w);
  return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD process) {
  TProcessQuery query{process, {}};
  EnumWindows(&CollectVisible, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

// Closes every launcher main window and waits until they are gone.
void CloseLaunchers() {
  for (const TFoundWindow& w : WindowsOfClass(L"Client Launcher")) PostMessageW(w.window, WM_CLOSE, 0, 0);
  WaitUntil([] { return WindowsOfClass(L"Client Launcher").empty(); }, 10000);
}

void SetEnv(const wchar_t* name, const std::string& value) {
  std::u16string w = plat::Utf16FromGbk(value);
  SetEnvironmentVariableW(name, value.empty() ? nullptr : reinterpret_cast<const wchar_t*>(w.c_str()));
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  return CopyWholeFileTo(from, to);
}

void MakeGameFolder(const test::TTempDir& dir) {
  ASSERT_TRUE(test::WriteFileBytes(dir.File("Vantrel.dll"), "x"));
  ASSERT_TRUE(test::WriteFileBytes(dir.File("d3dx9_43.dll"), "x"));
  ASSERT_TRUE(plat::ForceDirectories(dir.File("data")));
}

// ---- The game start ------------------------------------------------------

class ClientStart : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = LauncherPath();
    SetLauncherPath(dir.File("My Launcher.exe"));
    ASSERT_TRUE(CopyFileTo(kClientStub, dir.File(kClientFileName)));
    SetEnv(L"LG_STUB_OUT", dir.File("lines.txt"));
    SetEnv(L"LG_STUB_EXIT", "");
    SetEnv(L"LG_STUB_STAY_MS", "");
    _RegistryPageUrl = "http://reg.example/r?a=1";
    _ClientPatchUrl = "http://cdn.example/client";
    server.id = 7;
    server.ip = "10.1.2.3";
    server.port = 7100;
    server.name = u"龙城一区";
  }
  void TearDown() override {
    watch.Clear();
    SetLauncherPath(savedPath_);
    ClearDeploymentValues();
    SetEnv(L"LG_STUB_OUT", "");
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::string all = test::ReadFileBytes(dir.File("lines.txt")), line;
    for (char c : all) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return lines;
  }
  bool Start() {
    return LaunchClient(0, server, watch, [](uint32_t n) { return n - 1; });
  }

  test::TTempDir dir;
  TServerInfo server;
  TClientWatch watch{SystemExitCodes(), SystemRelease()};
  std::string savedPath_;
};

TEST_F(ClientStart, CommandLineHoldsEveryArgumentInOrderWithTheGbkServerNameIntact) {
  server.ip = "10.9.9.9|10.1.2.3";  // the injected choice takes the last
  ASSERT_TRUE(Start());
  ASSERT_EQ(watch.Records().size(), 1u);
  ASSERT_TRUE(WaitThread(watch.Records()[0].Thread, 10000));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], plat::Utf8FromGbk(dir.File("Client.bin")) +
                          " /id:7 /ip:10.1.2.3 /slb:1 /port:7100 /servername:龙城一区 /lauName:My Launcher.exe"
                          " /web:http://reg.example/r?a=1 /cdn:http://cdn.example/client/");
}

TEST_F(ClientStart, TwoStartsLeaveTwoRecordsAndTheLastServerIsKept) {
  SetEnv(L"LG_STUB_STAY_MS", "3000");
  ASSERT_TRUE(Start());
  server.id = 9;
  ASSERT_TRUE(Start());
  ASSERT_EQ(watch.Records().size(), 2u);
  EXPECT_EQ(watch.Records()[0].ServerId, 7);
  EXPECT_EQ(watch.Records()[1].ServerId, 9);
  EXPECT_EQ(ReadSetting(kKeyLastServer), 9);
  // Both still run: the watch keeps both records.
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::KeepWatching);
  EXPECT_EQ(watch.Records().size(), 2u);
}

TEST_F(ClientStart, CleanExitEndsTheWatchAndAFailedClientStays) {
  SetEnv(L"LG_STUB_EXIT", "3");
  ASSERT_TRUE(Start());
  ASSERT_TRUE(WaitThread(watch.Records()[0].Thread, 10000));
  uint32_t code = 0;
  ASSERT_TRUE(ThreadExitCode(watch.Records()[0].Thread, code));
  EXPECT_EQ(code, 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(watch.Tick(true), TClientWatch::TTick::KeepWatching);

  SetEnv(L"LG_STUB_EXIT", "0");
  SetEnv(L"LG_STUB_STAY_MS", "200");
  ASSERT_TRUE(Start());
  ASSERT_EQ(watch.Records().size(), 2u);
  ASSERT_TRUE(WaitThread(watch.Records()[1].Thread, 10000));
  EXPECT_EQ(watch.Tick(true), TClientWatch::TTick::KeepWatching);
  ASSERT_EQ(watch.Records().size(), 1u);
  EXPECT_EQ(watch.Records()[0].ServerId, 7);  // the one that exited with 3
}

TEST_F(ClientStart, NothingStartsWithoutAnAddressOrWithoutTheClient) {
  server.ip = "";
  EXPECT_FALSE(Start());
  ASSERT_TRUE(plat::DeleteFile(dir.File(kClientFileName)));
  server.ip = "10.1.2.3";
  EXPECT_FALSE(Start());
  EXPECT_TRUE(watch.Records().empty());
  EXPECT_FALSE(plat::FileExists(dir.File("launcher.ini")));
  EXPECT_FALSE(plat::FileExists(dir.File("lines.txt")));
}

TEST_F(ClientStart, ProcessStartConvertsGbkPathsAndArguments) {
  ASSERT_TRUE(plat::ForceDirectories(dir.File(Gbk("游戏"))));
  const std::string client = dir.File(Gbk("游戏\\Client.bin"));
  ASSERT_TRUE(CopyFileTo(kClientStub, client));
  intptr_t thread = RunProcess(client, Gbk("参数 a  b"));
  ASSERT_GT(thread, 0);
  ASSERT_TRUE(WaitThread(thread, 10000));
  ReleaseHandle(thread);
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0], plat::Utf8FromGbk(client) + " 参数 a  b");
  EXPECT_EQ(RunProcess(dir.File("missing.bin"), ""), 0);
}

// ---- The program's start modes -------------------------------------------

class LauncherProgram : public ::testing::Test {
 protected:
  void SetUp() override { CloseLaunchers(); }
  void TearDown() override {
    CloseLaunchers();
    for (intptr_t t : threads_) ReleaseHandle(t);
  }
  intptr_t Run(const std::string& path, const std::string& args = "") {
    intptr_t t = RunProcess(path, args);
    if (t > 0) threads_.push_back(t);
    return t;
  }
  std::vector<intptr_t> threads_;
};

TEST_F(LauncherProgram, SecondCopyLeavesOneWindowAndExits) {
  test::TTempDir dir;
  MakeGameFolder(dir);
  ASSERT_TRUE(CopyFileTo(kLauncherExe, dir.File("launcher.exe")));
  intptr_t first = Run(dir.File("launcher.exe"));
  ASSERT_GT(first, 0);
  ASSERT_TRUE(WaitUntil([] { return WindowsOfClass(L"Client Launcher").size() == 1; }, 15000));
  intptr_t second = Run(dir.File("launcher.exe"));
  ASSERT_GT(second, 0);
  ASSERT_TRUE(WaitThread(second, 15000)) << "the second copy did not end";
  uint32_t code = 1;
  EXPECT_TRUE(ThreadExitCode(second, code));
  EXPECT_EQ(code, 0u);
  const auto windows = WindowsOfClass(L"Client Launcher");
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].process, GetProcessIdOfThread(reinterpret_cast<HANDLE>(first)));
  // Closing during or after the passes ends the process.
  PostMessageW(windows[0].window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitThread(first, 15000));
}

TEST_F(LauncherProgram, WebModeOpensOnlyThePageWindowEvenBesideARunningLauncher) {
  test::TTempDir dir;
  MakeGameFolder(dir);
  ASSERT_TRUE(CopyFileTo(kLauncherExe, dir.File("launcher.exe")));
  ASSERT_GT(Run(dir.File("launcher.exe")), 0);
  ASSERT_TRUE(WaitUntil([] { return WindowsOfClass(L"Client Launcher").size() == 1; }, 15000));

  intptr_t web = Run(dir.File("launcher.exe"), "/web:http://127.0.0.1:9/register");
  ASSERT_GT(web, 0);
  const DWORD pid = GetProcessIdOfThread(reinterpret_cast<HANDLE>(web));
  ASSERT_TRUE(WaitUntil([&] { return !VisibleWindowsOf(pid).empty(); }, 15000));
  auto pages = WindowsOfClass(L"TfrmWebPage");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].process, pid);
  wchar_t caption[64] = {};
  GetWindowTextW(pages[0].window, caption, 64);
  EXPECT_STREQ(caption, L"加载页面");
  RECT client{};
  GetClientRect(pages[0].window, &client);
  EXPECT_EQ(client.right - client.left, 457);
  EXPECT_EQ(client.bottom - client.top, 558);
  EXPECT_EQ(WindowsOfClass(L"Client Launcher").size(), 1u) << "the viewer made a main window";
  // Esc closes the page window and ends the viewer.
  PostMessageW(pages[0].window, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitThread(web, 15000));
}

TEST_F(LauncherProgram, UpdateCopyReplacesTheLauncherStartsItAndShowsNoWindow) {
  test::TTempDir dir;
  MakeGameFolder(dir);
  // The old launcher: any program that ends at once.
  ASSERT_TRUE(CopyFileTo(kClientStub, dir.File("game.exe")));
  ASSERT_TRUE(CopyFileTo(kLauncherExe, dir.File("game.update")));
  intptr_t step = Run(dir.File("game.update"));
  ASSERT_GT(step, 0);
  const DWORD pid = GetProcessIdOfThread(reinterpret_cast<HANDLE>(step));
  bool shown = false;
  WaitUntil(
      [&] {
        shown = shown || !VisibleWindowsOf(pid).empty();
        return WaitForSingleObject(reinterpret_cast<HANDLE>(step), 0) == WAIT_OBJECT_0;
      },
      15000);
  ASSERT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(step), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(shown);
  EXPECT_EQ(Md5OfFile(dir.File("game.exe")), Md5OfFile(kLauncherExe));
  EXPECT_FALSE(plat::FileExists(dir.File("game.exe.new")));
  // The replaced launcher was started and runs the normal start.
  ASSERT_TRUE(WaitUntil([] { return WindowsOfClass(L"Client Launcher").size() == 1; }, 15000));
}

TEST_F(LauncherProgram, ReplacementKilledMidCopyLeavesAWholeLauncher) {
  // A large companion so the copy takes a while: the launcher with data
  // behind its image still runs.
  test::TTempDir dir;
  std::string image = test::ReadFileBytes(kLauncherExe);
  ASSERT_FALSE(image.empty());
  std::string big = image + std::string(96u << 20, '\x5A');
  ASSERT_TRUE(test::WriteFileBytes(dir.File("k.update"), big));
  const std::string newDigest = Md5OfBuffer(big.data(), big.size());
  big.clear();
  const std::string stub = test::ReadFileBytes(kClientStub);
  const std::string oldDigest = Md5OfBuffer(stub.data(), stub.size());
  int midCopy = 0;
  for (int delay : {520, 600, 700, 800, 900, 1000, 1200, 1500, 2000}) {
    SCOPED_TRACE(delay);
    // A launcher started by the previous round may still be coming up.
    ASSERT_TRUE(WaitUntil(
        [&] {
          TerminateProcessesNamed("k.exe");
          return test::WriteFileBytes(dir.File("k.exe"), stub);
        },
        10000));
    intptr_t step = Run(dir.File("k.update"));
    ASSERT_GT(step, 0);
    HANDLE process =
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, GetProcessIdOfThread(reinterpret_cast<HANDLE>(step)));
    ASSERT_NE(process, nullptr);
    Sleep(static_cast<DWORD>(delay));
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    // The step may have finished and started the new launcher already.
    TerminateProcessesNamed("k.exe");
    const std::string digest = Md5OfFile(dir.File("k.exe"));
    EXPECT_TRUE(digest == oldDigest || digest == newDigest) << digest;
    // A temporary copy left behind means the kill came in the middle of it.
    midCopy += plat::FileExists(dir.File("k.exe.new")) ? 1 : 0;
    if (digest == oldDigest) {
      // The old launcher is whole: it still starts and ends normally.
      intptr_t again = Run(dir.File("k.exe"));
      ASSERT_GT(again, 0);
      ASSERT_TRUE(WaitThread(again, 10000));
      uint32_t code = 1;
      EXPECT_TRUE(ThreadExitCode(again, code));
      EXPECT_EQ(code, 0u);
    }
    EXPECT_TRUE(plat::FileExists(dir.File("k.update")));
  }
  EXPECT_GT(midCopy, 0) << "no kill landed inside the copy";
  WaitUntil([] { return TerminateProcessesNamed("k.exe") == 0; }, 3000);
}

TEST_F(LauncherProgram, InstallsIntoTheFolderOfKeyOneAndTheCopyDeletesTheOriginal) {
  test::TTempDir downloads, install;
  // A former path with a blank still names the file the copy deletes.
  const std::string download = downloads.File("My Downloads\\");
  ASSERT_TRUE(plat::ForceDirectories(download));
  ASSERT_TRUE(CopyFileTo(kLauncherExe, download + "launcher.exe"));
  {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvath",
                              0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ASSERT_TRUE(WriteMachineText(kUninstallKeyGame, "UninstallString", install.File("unins000.exe")));
  intptr_t started = Run(download + "launcher.exe");
  ASSERT_GT(started, 0);
  ASSERT_TRUE(WaitThread(started, 20000)) << "the downloaded copy did not end";
  // The installed copy runs, deletes the downloaded one and opens its window.
  ASSERT_TRUE(WaitUntil([] { return WindowsOfClass(L"Client Launcher").size() == 1; }, 20000));
  EXPECT_EQ(Md5OfFile(install.File("launcher.exe")), Md5OfFile(kLauncherExe));
  EXPECT_TRUE(WaitUntil([&] { return !plat::FileExists(download + "launcher.exe"); }, 10000));
  // The shortcut is named after the launcher's display name (empty here:
  // this launcher carries no deployment block).
  wchar_t profile[MAX_PATH] = {};
  DWORD size = sizeof(profile);
  HKEY folders = nullptr;
  std::wstring desktopPath;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_READ, &folders) == ERROR_SUCCESS) {
    if (RegQueryValueExW(folders, L"Desktop", nullptr, nullptr, reinterpret_cast<BYTE*>(profile), &size) ==
        ERROR_SUCCESS)
      desktopPath = profile;
    RegCloseKey(folders);
  }
  ASSERT_FALSE(desktopPath.empty());
  const std::string link = plat::GbkFromUtf16(reinterpret_cast<const char16_t*>(desktopPath.c_str())) + "\\.lnk";
  EXPECT_TRUE(plat::FileExists(link)) << link;
  plat::DeleteFile(link);
  CloseLaunchers();
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvath");
}

TEST_F(LauncherProgram, CopyStartedFromAnotherFolderDeletesTheDownloadAndNotTheFileOfThatName) {
  test::TTempDir downloads, install, elsewhere;
  ASSERT_TRUE(CopyFileTo(kLauncherExe, downloads.File("launcher.exe")));
  // A file of the launcher's name in the current folder is someone else's.
  ASSERT_TRUE(plat::WriteWholeFile(elsewhere.File("launcher.exe"), "not the download"));
  {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvath",
                              0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ASSERT_TRUE(WriteMachineText(kUninstallKeyGame, "UninstallString", install.File("unins000.exe")));
  // Started with another current folder, as from a browser's download list;
  // the installed copy inherits it.
  const std::u16string exe = plat::Utf16FromGbk(downloads.File("launcher.exe"));
  const std::u16string cwd = plat::Utf16FromGbk(elsewhere.Path());
  std::wstring commandLine = L"\"" + std::wstring(exe.begin(), exe.end()) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             reinterpret_cast<const wchar_t*>(cwd.c_str()), &si, &pi));
  CloseHandle(pi.hProcess);
  threads_.push_back(reinterpret_cast<intptr_t>(pi.hThread));
  ASSERT_TRUE(WaitThread(reinterpret_cast<intptr_t>(pi.hThread), 20000)) << "the downloaded copy did not end";
  ASSERT_TRUE(WaitUntil([] { return WindowsOfClass(L"Client Launcher").size() == 1; }, 20000));
  EXPECT_TRUE(WaitUntil([&] { return !plat::FileExists(downloads.File("launcher.exe")); }, 10000))
      << "the download is still there";
  std::string text;
  EXPECT_TRUE(plat::ReadWholeFile(elsewhere.File("launcher.exe"), text));
  EXPECT_EQ(text, "not the download");
  EXPECT_TRUE(plat::FileExists(install.File("launcher.exe")));
  CloseLaunchers();
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvath");
}

TEST_F(LauncherProgram, WithoutAUsableKeyTheDialogOffersTheDefaultFolderAndClosingItEndsTheLauncher) {
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvath");
  const std::u16string smallKey = plat::Utf16FromGbk(SmallClientKey());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(smallKey.c_str()));
  test::TTempDir download;
  ASSERT_TRUE(CopyFileTo(kLauncherExe, download.File("launcher.exe")));
  intptr_t started = Run(download.File("launcher.exe"));
  ASSERT_GT(started, 0);
  const DWORD pid = GetProcessIdOfThread(reinterpret_cast<HANDLE>(started));
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const TFoundWindow& w : WindowsOfClass(L"TForm1"))
          if (w.process == pid && IsWindowVisible(w.window)) dialog = w.window;
        return dialog != nullptr;
      },
      20000))
      << "no install dialog";
  wchar_t caption[64] = {};
  GetWindowTextW(dialog, caption, 64);
  EXPECT_STREQ(caption, L"请设置游戏安装路径：");
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, 313);
  EXPECT_EQ(client.bottom, 122);
  const std::string expected = DefaultInstallFolder([](const std::string& p) { return plat::DirectoryExists(p); });
  HWND edit = FindWindowExW(dialog, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  wchar_t text[MAX_PATH] = {};
  // Another process's edit text comes only through the message.
  SendMessageW(edit, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(plat::GbkFromUtf16(reinterpret_cast<const char16_t*>(text)), expected);
  // The close box: no folder, the launcher ends without copying itself.
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitThread(started, 15000)) << "the launcher did not end";
  EXPECT_FALSE(plat::FileExists(expected + "launcher.exe"));
  EXPECT_TRUE(plat::FileExists(download.File("launcher.exe")));
}

TEST_F(LauncherProgram, WebPageAddressWithCloseMarkerClosesTheWindow) {
  test::TTempDir dir;
  ASSERT_TRUE(CopyFileTo(kLauncherExe, dir.File("launcher.exe")));
  intptr_t web = Run(dir.File("launcher.exe"), "/web:http://127.0.0.1:9/done#CLOSE");
  ASSERT_GT(web, 0);
  EXPECT_TRUE(WaitThread(web, 20000)) << "the page window stayed open";
}

}  // namespace
}  // namespace lg
