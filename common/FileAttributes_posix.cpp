// POSIX side of the archive attribute helpers.
#include "common/FileAttributes.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <ctime>

#include "common/Platform.h"

namespace lg::plat {

bool SetFileStamp(const std::string& path, uint32_t dosDateTime) {
  const uint32_t date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
  std::tm t{};
  t.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  t.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  t.tm_mday = static_cast<int>(date & 0x1F);
  t.tm_hour = static_cast<int>((time >> 11) & 0x1F);
  t.tm_min = static_cast<int>((time >> 5) & 0x3F);
  t.tm_sec = static_cast<int>(time & 0x1F) * 2;
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59) return false;
  t.tm_isdst = -1;
  const time_t secs = std::mktime(&t);
  if (secs == static_cast<time_t>(-1)) return false;
  return SetLastWriteTime(path, static_cast<int64_t>(secs));
}

bool SetDosAttributes(const std::string& path, uint32_t attributes) {
  return (attributes & kDosReadOnly) ? MakeReadOnly(path) : ClearAttributes(path);
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st {};
  return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace lg::plat
