// A file handle with 64-bit positions (platform layer). Paths are GBK with
// "\" or "/" separators. Opened with sharing that lets other readers and
// writers in (deny-none), as the launcher reads its own running executable.
// Owned by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lg::plat {

class TFileStream {
 public:
  enum class Mode {
    Read,          // existing file, read only
    ReadWrite,     // existing file, read and write
    Create,        // create or truncate, read and write
    OpenOrCreate,  // keep contents when it exists, read and write
    CreateNew,     // a new file, read and write; fails when anything (even a
                   // link) already has the name, so nothing is written through it
  };

  TFileStream() = default;
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  bool Open(const std::string& path, Mode mode);
  void Close();
  bool IsOpen() const { return handle_ != -1; }

  int64_t Size() const;
  bool Seek(int64_t offset);
  int64_t Position() const;
  // Bytes read (0 at the end of the file), -1 on error. Loops over short reads.
  int64_t Read(void* data, size_t size);
  // True when every byte was written.
  bool Write(const void* data, size_t size);
  // Positioned forms that do not move the stream position.
  int64_t ReadAt(int64_t offset, void* data, size_t size);
  bool WriteAt(int64_t offset, const void* data, size_t size);
  bool Truncate(int64_t size);
  bool Flush();
  // Asks the system to start writing these bytes to disk now and returns
  // without waiting, so a later Flush finds little left to write. Only a
  // hint: where the system has no such call it does nothing.
  void StartWriteBack(int64_t offset, size_t size);

 private:
  std::intptr_t handle_ = -1;
};

// Whole-file helpers.
bool ReadWholeFile(const std::string& path, std::string& out);
// Writes through a temporary sibling and renames it over `path`, so a crash
// never leaves a half-written file under the real name.
bool WriteWholeFile(const std::string& path, const std::string& data);

}  // namespace lg::plat
