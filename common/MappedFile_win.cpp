#include <windows.h>

#include "common/MappedFile.h"
#include "common/WinPath.h"

namespace lg::plat {

TMappedFile::~TMappedFile() {
  Close();
}

bool TMappedFile::Open(const std::string& path) {
  Close();
  HANDLE h = CreateFileW(WidePathOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return false;
  }
  file_ = reinterpret_cast<std::intptr_t>(h);
  size_ = size.QuadPart;
  if (size_ > 0) {
    HANDLE m = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!m) {
      Close();
      return false;
    }
    mapping_ = reinterpret_cast<std::intptr_t>(m);
  }
  return true;
}

const unsigned char* TMappedFile::Map(int64_t offset, size_t length) {
  Unmap();
  if (!mapping_ || length == 0) return nullptr;
  void* p = MapViewOfFile(reinterpret_cast<HANDLE>(mapping_), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                          static_cast<DWORD>(offset & 0xFFFFFFFF), length);
  view_ = p;
  viewLength_ = p ? length : 0;
  return static_cast<const unsigned char*>(p);
}

void TMappedFile::Unmap() {
  if (view_) UnmapViewOfFile(view_);
  view_ = nullptr;
  viewLength_ = 0;
}

void TMappedFile::Close() {
  Unmap();
  if (mapping_) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  if (file_ != -1) CloseHandle(reinterpret_cast<HANDLE>(file_));
  mapping_ = 0;
  file_ = -1;
  size_ = 0;
}

}  // namespace lg::plat
