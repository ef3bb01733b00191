// The small platform layer: everything the portable core needs from the
// operating system that differs between Windows and POSIX. One implementation
// per platform (Platform_win.cpp, Platform_posix.cpp); no other core file
// carries platform conditionals.
//
// Paths: the core writes paths the Windows way, with "\" separators and GBK
// text, exactly as manifests and logs carry them ("data\ui\a.dat"). Every
// file function here accepts "\" and "/" alike; the POSIX side turns "\" into
// "/" at the system call, the Windows side converts GBK to UTF-16 and calls
// the wide API, so the result does not depend on the system code page.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lg::plat {

// ---- Text: GBK (code page 936) <-> UTF-16 and UTF-8 ----------------------
// Bytes that are not valid GBK become U+FFFD; characters GBK cannot hold
// become "?". Both platforms give the same result for the same input.
std::u16string Utf16FromGbk(std::string_view gbk);
std::string GbkFromUtf16(std::u16string_view text);
std::string Utf8FromGbk(std::string_view gbk);
std::string GbkFromUtf8(std::string_view utf8);
// Strict form: false (and `out` untouched) when a character has no GBK code.
bool TryGbkFromUtf8(std::string_view utf8, std::string& out);

// ---- Time --------------------------------------------------------------
// Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
uint32_t TickCount();
void SleepMs(uint32_t ms);

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime Now();

// ---- Memory --------------------------------------------------------------
// A hint for a large buffer about to be filled front to back: the system may
// back it with large pages, so filling it takes one page fault per 2 MiB
// instead of one per 4 KiB (in a virtual machine each fault is dear). Does
// nothing where the system offers no such hint or the buffer is too small.
void PreferLargePages(void* data, size_t size);

// ---- Diagnostics ---------------------------------------------------------
// One line to the debugger channel: OutputDebugStringA on Windows; on POSIX
// standard error, but only when LG_DEBUG_OUTPUT is set in the environment.
void DebugOutput(std::string_view text);

// ---- Files ---------------------------------------------------------------
// A file's last write time as the packed DOS date (high word) and time (low
// word) in local time, the value the runtime's file-age query returns; -1
// when the file does not exist or is a folder.
int32_t FileStamp(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Size in bytes, -1 when missing.
int64_t FileSize(const std::string& path);
// Drops read-only and other attributes so the file can be replaced.
bool ClearAttributes(const std::string& path);
bool MakeReadOnly(const std::string& path);
bool DeleteFile(const std::string& path);
// Replaces an existing target.
bool RenameFile(const std::string& from, const std::string& to);
// Creates the folder and every missing parent.
bool ForceDirectories(const std::string& path);
// Seconds since 1970-01-01 UTC.
bool SetLastWriteTime(const std::string& path, int64_t unixSeconds);
int64_t LastWriteTime(const std::string& path);
// The path as the operating system wants it (separators, and on POSIX the
// same bytes; on Windows callers use WidePath).
std::string NativePath(std::string_view path);
// The separator the platform's own paths use: '/' or '\\'.
extern const char kPathSeparator;

// The running executable's full path (GBK).
std::string ExecutablePath();

// ---- Environment ---------------------------------------------------------
std::string GetEnv(const char* name);

}  // namespace lg::plat
