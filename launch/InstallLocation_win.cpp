#include "launch/InstallLocation.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "launch/ClientCommandLine.h"
#include "launch/GamePresent.h"
#include "launch/Processes.h"
#include "launch/TForm1.h"
#include "launcher/Diagnostics.h"
#include "launcher/TReplacementStep.h"

namespace lg {
namespace {

std::wstring Wide(const std::string& gbk) {
  std::u16string u = plat::Utf16FromGbk(gbk);
  return std::wstring(u.begin(), u.end());
}

std::string Gbk16(const wchar_t* w) {
  return plat::GbkFromUtf16(reinterpret_cast<const char16_t*>(w));
}

std::string ReadText(HKEY root, const std::string& key, const char* value, bool createKey) {
  HKEY h = nullptr;
  const std::wstring wkey = Wide(key);
  LONG rc = createKey ? RegCreateKeyExW(root, wkey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &h, nullptr)
                      : ERROR_FILE_NOT_FOUND;
  // Without the rights to create it the key may still be readable.
  if (rc != ERROR_SUCCESS) rc = RegOpenKeyExW(root, wkey.c_str(), 0, KEY_READ, &h);
  if (rc != ERROR_SUCCESS) return {};
  std::wstring wvalue = Wide(value);
  DWORD type = 0, size = 0;
  std::string text;
  if (RegQueryValueExW(h, wvalue.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < 65536) {
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(h, wvalue.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) ==
        ERROR_SUCCESS)
      text = Gbk16(buf.c_str());
  }
  RegCloseKey(h);
  return text;
}

}  // namespace

std::string SmallClientKey() {
  return std::string(kUninstallKeyGame) + Gbk("微端");
}

std::string ReadMachineText(const std::string& key, const char* value, bool createKey) {
  return ReadText(HKEY_LOCAL_MACHINE, key, value, createKey);
}

bool WriteMachineText(const std::string& key, const char* value, const std::string& text) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_WRITE, &h) != ERROR_SUCCESS) return false;
  std::wstring w = Wide(text);
  LONG rc = RegSetValueExW(h, Wide(value).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                           static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

bool CreateShortcut(const std::string& target, const std::string& arguments, const std::string& description,
                    const std::string& linkFile) {
  if (FAILED(OleInitialize(nullptr))) return false;
  bool ok = false;
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    const std::string folder = FolderPart(target);
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    link->SetWorkingDirectory(folder.c_str());
    link->SetDescription(description.c_str());
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      ok = SUCCEEDED(file->Save(Wide(linkFile).c_str(), TRUE));
      file->Release();
    }
    link->Release();
  }
  OleUninitialize();
  return ok;
}

bool CheckInstallLocation(intptr_t mainWindow, TForm1& dialog) {
  const std::string here = LauncherFolder();
  const std::string name = ExeName();
  if (GamePresent(here)) return true;

  std::string dir = UninstallFolder(ReadMachineText(kUninstallKeyGame, "UninstallString", true));
  if (!dir.empty() && !plat::DirectoryExists(dir)) dir.clear();
  bool smallClientKey = false;
  if (dir.empty()) {
    smallClientKey = true;
    dir = UninstallFolder(ReadMachineText(SmallClientKey(), "UninstallString", true));
    if (!dir.empty() && !plat::DirectoryExists(dir)) dir.clear();
  }
  if (SameFolderText(dir, here)) return true;

  if (dir.empty()) {
    dialog.SetText(DefaultInstallFolder([](const std::string& p) { return plat::DirectoryExists(p); }));
    // Each showing is one decision of the user; a folder that cannot be
    // created brings the dialog back with the retry caption.
    while (dir.empty() || !plat::DirectoryExists(dir)) {
      if (!dialog.ShowModal()) break;
      dialog.SetCaption(u"该路径不存在，请重新设置");
      dir = dialog.Text();
      if (!dir.empty()) plat::ForceDirectories(dir);
    }
    if (dir.empty() || !plat::DirectoryExists(dir)) {
      LogError("install folder not chosen, launcher ends");
      TerminateProcessesNamed(name);
      // Not reached when the process matched its own name.
      ExitProcess(0);
    }
  }
  dir = WithTrailingSeparator(dir);
  plat::ForceDirectories(dir);
  if (smallClientKey) WriteMachineText(SmallClientKey(), "UninstallString", dir);
  CopyWholeFileTo(here + name, dir + name);

  wchar_t desktopBuf[MAX_PATH] = {};
  std::string desktop = ReadText(
      HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop", false);
  if (desktop.empty()) {
    GetWindowsDirectoryW(desktopBuf, MAX_PATH);
    desktop = Gbk16(desktopBuf);
  }
  if (desktop.size() > 3) desktop += "\\";
  CreateShortcut(dir + name, "", _LauName, desktop + _LauName + ".lnk");

  if (!SameFolderText(dir, here)) {
    // Quoted, so a former path with blanks reaches the copy as one argument
    // and the file it names is really deleted.
    const std::wstring target = Wide(dir + name), params = Wide("\"" + here + name + "\"");
    ShellExecuteW(reinterpret_cast<HWND>(mainWindow), L"open", target.c_str(), params.c_str(), nullptr, SW_SHOWNORMAL);
    return false;
  }
  return true;
}

}  // namespace lg
