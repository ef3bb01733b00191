#include "common/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Platform.h"

namespace lg::plat {

TMappedFile::~TMappedFile() {
  Close();
}

bool TMappedFile::Open(const std::string& path) {
  Close();
  int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  file_ = fd;
  size_ = static_cast<int64_t>(st.st_size);
  return true;
}

const unsigned char* TMappedFile::Map(int64_t offset, size_t length) {
  Unmap();
  if (file_ < 0 || length == 0) return nullptr;
  void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, static_cast<int>(file_),
                   static_cast<off_t>(offset));
  if (p == MAP_FAILED) return nullptr;
  view_ = p;
  viewLength_ = length;
  return static_cast<const unsigned char*>(p);
}

void TMappedFile::Unmap() {
  if (view_) ::munmap(view_, viewLength_);
  view_ = nullptr;
  viewLength_ = 0;
}

void TMappedFile::Close() {
  Unmap();
  if (file_ >= 0) ::close(static_cast<int>(file_));
  file_ = -1;
  size_ = 0;
}

}  // namespace lg::plat
