// Windows side of the archive attribute helpers (wide API, GBK paths).
#include "common/FileAttributes.h"

#include <windows.h>

#include "common/Platform.h"

namespace lg::plat {
namespace {

std::wstring Wide(const std::string& path) {
  std::u16string w = Utf16FromGbk(NativePath(path));
  return std::wstring(w.begin(), w.end());
}

}  // namespace

bool StampTimeFromDos(uint32_t dosDateTime, TStampTime& time) {
  FILETIME local{}, utc{};
  if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime & 0xFFFF), &local))
    return false;
  if (!LocalFileTimeToFileTime(&local, &utc)) return false;
  time.Value = static_cast<int64_t>((static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
  return true;
}

bool SetFileStamp(const std::string& path, const TStampTime& time) {
  FILETIME utc{};
  utc.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(time.Value) & 0xFFFFFFFFu);
  utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(time.Value) >> 32);
  HANDLE h = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
  return ok != FALSE;
}

bool SetFileStamp(const std::string& path, uint32_t dosDateTime) {
  TStampTime time;
  return StampTimeFromDos(dosDateTime, time) && SetFileStamp(path, time);
}

bool SetDosAttributes(const std::string& path, uint32_t attributes) {
  DWORD a =
      attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesW(Wide(path).c_str(), a) != FALSE;
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_READONLY);
}

TPathState QueryPath(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  TPathState state;
  if (a == INVALID_FILE_ATTRIBUTES) return state;
  state.Exists = true;
  state.IsDirectory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  state.ReadOnly = !state.IsDirectory && (a & FILE_ATTRIBUTE_READONLY);
  return state;
}

bool IsSymbolicLink(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace lg::plat
