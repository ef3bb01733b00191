#include "launch/Processes.h"

#include <windows.h>

#include <tlhelp32.h>

#include "common/Platform.h"
#include "launch/ClientCommandLine.h"

namespace lg {
namespace {

std::wstring Wide(const std::string& gbk) {
  std::u16string u = plat::Utf16FromGbk(gbk);
  return std::wstring(u.begin(), u.end());
}

}  // namespace

intptr_t RunProcess(const std::string& path, const std::string& arguments) {
  std::wstring commandLine = Wide(FormCommandLine(path, arguments));
  std::wstring folder = Wide(FolderPart(path));
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION pi{};
  // CreateProcessW may write into the command line buffer.
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return 0;
  // Only the primary thread's exit code is ever asked for.
  CloseHandle(pi.hProcess);
  return reinterpret_cast<intptr_t>(pi.hThread);
}

bool ThreadExitCode(intptr_t thread, uint32_t& code) {
  DWORD value = 0;
  if (!GetExitCodeThread(reinterpret_cast<HANDLE>(thread), &value)) return false;
  code = value;
  return true;
}

void ReleaseHandle(intptr_t handle) {
  if (handle > 0) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

int TerminateProcessesNamed(const std::string& imageName) {
  const std::wstring wanted = Wide(imageName);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int ended = 0;
  const DWORD self = GetCurrentProcessId();
  bool endSelf = false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
    if (entry.th32ProcessID == self) {
      // Last, so every other copy is gone first.
      endSelf = true;
      continue;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    if (TerminateProcess(process, 0)) {
      ++ended;
      // The image stays locked until the process is really gone.
      WaitForSingleObject(process, 2000);
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  if (endSelf) TerminateProcess(GetCurrentProcess(), 0);
  return ended;
}

}  // namespace lg
