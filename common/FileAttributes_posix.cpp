// POSIX side of the archive attribute helpers.
#include "common/FileAttributes.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <ctime>

#include "common/Platform.h"

namespace lg::plat {

bool StampTimeFromDos(uint32_t dosDateTime, TStampTime& time) {
  const uint32_t date = dosDateTime >> 16, clock = dosDateTime & 0xFFFF;
  std::tm t{};
  t.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  t.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  t.tm_mday = static_cast<int>(date & 0x1F);
  t.tm_hour = static_cast<int>((clock >> 11) & 0x1F);
  t.tm_min = static_cast<int>((clock >> 5) & 0x3F);
  t.tm_sec = static_cast<int>(clock & 0x1F) * 2;
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59) return false;
  t.tm_isdst = -1;
  const time_t secs = std::mktime(&t);
  if (secs == static_cast<time_t>(-1)) return false;
  time.Value = static_cast<int64_t>(secs);
  return true;
}

bool SetFileStamp(const std::string& path, const TStampTime& time) {
  return SetLastWriteTime(path, time.Value);
}

bool SetFileStamp(const std::string& path, uint32_t dosDateTime) {
  TStampTime time;
  return StampTimeFromDos(dosDateTime, time) && SetFileStamp(path, time);
}

bool SetDosAttributes(const std::string& path, uint32_t attributes) {
  return (attributes & kDosReadOnly) ? MakeReadOnly(path) : ClearAttributes(path);
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

TPathState QueryPath(const std::string& path) {
  struct stat st {};
  TPathState state;
  if (::stat(NativePath(path).c_str(), &st) != 0) return state;
  state.Exists = true;
  state.IsDirectory = S_ISDIR(st.st_mode);
  state.ReadOnly = !state.IsDirectory && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  return state;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st {};
  return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace lg::plat
