// Read-only memory mapping of a file, one window at a time (platform layer).
// Used for digests of large files without reading them through a buffer.
// Owned by one thread; the pointer from Map stays valid until the next Map,
// Unmap or destruction.
#pragma once

#include <cstdint>
#include <string>

namespace lg::plat {

class TMappedFile {
 public:
  TMappedFile() = default;
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  // Opens for reading, sharing with other readers and writers.
  bool Open(const std::string& path);
  int64_t Size() const { return size_; }
  // Maps [offset, offset + length); offset must be a multiple of 64 KiB.
  const unsigned char* Map(int64_t offset, size_t length);
  void Unmap();
  void Close();

 private:
  std::intptr_t file_ = -1;
  std::intptr_t mapping_ = 0;
  void* view_ = nullptr;
  size_t viewLength_ = 0;
  int64_t size_ = 0;
};

}  // namespace lg::plat
