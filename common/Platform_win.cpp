// Windows side of the platform layer. File names are converted from GBK to
// UTF-16 explicitly (code page 936), so the launcher works the same on a
// system whose ANSI code page is not Chinese.
#include <windows.h>
// Our DeleteFile is not the Win32 macro of the same name.
#undef DeleteFile

#include <cstdlib>
#include <mutex>

#include "common/Platform.h"
#include "common/WinPath.h"

namespace lg::plat {
namespace {

constexpr UINT kGbk = 936;

std::wstring Wide(std::u16string_view s) {
  return std::wstring(s.begin(), s.end());
}

std::wstring WidePath(std::string_view path) {
  return WidePathOf(path);
}

// Windows FILETIME (100 ns since 1601) <-> Unix seconds.
constexpr int64_t kEpochDelta = 11644473600LL;

FILETIME ToFileTime(int64_t unixSeconds) {
  ULARGE_INTEGER v;
  v.QuadPart = static_cast<ULONGLONG>((unixSeconds + kEpochDelta) * 10000000LL);
  FILETIME ft;
  ft.dwLowDateTime = v.LowPart;
  ft.dwHighDateTime = v.HighPart;
  return ft;
}

int64_t FromFileTime(const FILETIME& ft) {
  ULARGE_INTEGER v;
  v.LowPart = ft.dwLowDateTime;
  v.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(v.QuadPart / 10000000ULL) - kEpochDelta;
}

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

}  // namespace

std::u16string Utf16FromGbk(std::string_view gbk) {
  if (gbk.empty()) return {};
  int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), n);
  return std::u16string(w.begin(), w.end());
}

std::string GbkFromUtf16(std::u16string_view text) {
  if (text.empty()) return {};
  std::wstring w = Wide(text);
  int n = WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, "?", nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), out.data(), n, "?", nullptr);
  return out;
}

namespace {
std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}
}  // namespace

std::string Utf8FromGbk(std::string_view gbk) {
  std::u16string w = Utf16FromGbk(gbk);
  if (w.empty()) return {};
  std::wstring ww = Wide(w);
  int n = WideCharToMultiByte(CP_UTF8, 0, ww.data(), static_cast<int>(ww.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, ww.data(), static_cast<int>(ww.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string GbkFromUtf8(std::string_view utf8) {
  std::wstring w = WideFromUtf8(utf8);
  return GbkFromUtf16(std::u16string(w.begin(), w.end()));
}

bool TryGbkFromUtf8(std::string_view utf8, std::string& out) {
  std::wstring w = WideFromUtf8(utf8);
  if (w.empty()) {
    if (!utf8.empty()) return false;
    out.clear();
    return true;
  }
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, &lossy);
  if (lossy) return false;
  std::string r(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kGbk, 0, w.data(), static_cast<int>(w.size()), r.data(), n, nullptr, &lossy);
  if (lossy) return false;
  out = std::move(r);
  return true;
}

uint32_t TickCount() {
  return static_cast<uint32_t>(GetTickCount64());
}

void SleepMs(uint32_t ms) {
  Sleep(ms);
}

// Large pages on Windows need a privilege a player's account lacks and
// memory reserved for them from the start; ordinary pages it is.
void PreferLargePages(void*, size_t) {}

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

void DebugOutput(std::string_view text) {
  OutputDebugStringA(std::string(text).c_str());
}

int32_t FileStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Attributes(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time))
    return -1;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

bool FileExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return Attributes(path, data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Attributes(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ClearAttributes(const std::string& path) {
  return SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool MakeReadOnly(const std::string& path) {
  return SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

bool DeleteFile(const std::string& path) {
  return ::DeleteFileW(WidePath(path).c_str()) != 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  size_t sep = p.find_last_of("\\/");
  // Stop at a drive root ("C:") or the start of the path.
  if (sep != std::string::npos && sep > 0 && p[sep - 1] != ':' && !ForceDirectories(p.substr(0, sep))) return false;
  return CreateDirectoryW(WidePath(p).c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool SetLastWriteTime(const std::string& path, int64_t unixSeconds) {
  HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME ft = ToFileTime(unixSeconds);
  BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  return ok != 0;
}

int64_t LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Attributes(path, data)) return -1;
  return FromFileTime(data.ftLastWriteTime);
}

std::string NativePath(std::string_view path) {
  std::string p(path);
  for (size_t i = 0; i < p.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < p.size()) {
      ++i;
    } else if (c == '/') {
      p[i] = '\\';
    }
  }
  return p;
}

std::string ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  return GbkFromUtf16(std::u16string(buf.begin(), buf.end()));
}

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

const char kPathSeparator = '\\';

}  // namespace lg::plat
