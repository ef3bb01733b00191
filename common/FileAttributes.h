// File attributes and stamps in the form archives carry them: the packed DOS
// date (high word) and time (low word) in local time, and the DOS attribute
// byte (read-only 0x01, hidden 0x02, system 0x04, archive 0x20). One
// implementation per platform (FileAttributes_win.cpp, _posix.cpp).
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace lg::plat {

constexpr uint32_t kDosReadOnly = 0x01;
constexpr uint32_t kDosHidden = 0x02;
constexpr uint32_t kDosSystem = 0x04;
constexpr uint32_t kDosDirectory = 0x10;
constexpr uint32_t kDosArchive = 0x20;

// Sets the last write time from a packed local DOS date and time. False for
// a date that does not exist (month 13, day 0) or a file that cannot be
// touched.
bool SetFileStamp(const std::string& path, uint32_t dosDateTime);

// The same stamp converted once to the time the file system stores, for
// callers that set one stamp on many files (the conversion reads the time
// zone).
struct TStampTime {
  int64_t Value = 0;  // platform form: Unix seconds, or a Windows FILETIME
};
bool StampTimeFromDos(uint32_t dosDateTime, TStampTime& time);
bool SetFileStamp(const std::string& path, const TStampTime& time);

// Applies the read-only, hidden, system and archive bits. On POSIX only the
// read-only bit has a meaning (write permission is removed).
bool SetDosAttributes(const std::string& path, uint32_t attributes);

// True when the file exists and cannot be written because of its
// attributes.
bool IsReadOnlyFile(const std::string& path);

// What is under a name, from one query: nothing, a folder, or a file and
// whether IsReadOnlyFile holds for it. Links are followed.
struct TPathState {
  bool Exists = false;
  bool IsDirectory = false;
  bool ReadOnly = false;
};
TPathState QueryPath(const std::string& path);

// True when the path itself is a symbolic link (or reparse point on Windows),
// whatever it points to.
bool IsSymbolicLink(const std::string& path);

}  // namespace lg::plat
