#include "common/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/Platform.h"

namespace lg::plat {

TFileStream::~TFileStream() {
  Close();
}

bool TFileStream::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  int fd = ::open(NativePath(path).c_str(), flags, 0666);
  if (fd < 0) return false;
  // Opening a folder for writing already fails (EISDIR); only a read-only
  // open needs the check.
  struct stat st {};
  if (mode == Mode::Read && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

void TFileStream::Close() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

int64_t TFileStream::Size() const {
  struct stat st {};
  if (handle_ == -1 || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool TFileStream::Seek(int64_t offset) {
  return handle_ != -1 && offset >= 0 && ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

int64_t TFileStream::Position() const {
  if (handle_ == -1) return -1;
  return static_cast<int64_t>(::lseek(static_cast<int>(handle_), 0, SEEK_CUR));
}

int64_t TFileStream::Read(void* data, size_t size) {
  if (handle_ == -1) return -1;
  auto p = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(static_cast<int>(handle_), p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool TFileStream::Write(const void* data, size_t size) {
  if (handle_ == -1) return false;
  auto p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(static_cast<int>(handle_), p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int64_t TFileStream::ReadAt(int64_t offset, void* data, size_t size) {
  if (handle_ == -1 || offset < 0) return -1;
  auto p = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(static_cast<int>(handle_), p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool TFileStream::WriteAt(int64_t offset, const void* data, size_t size) {
  if (handle_ == -1 || offset < 0) return false;
  auto p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(static_cast<int>(handle_), p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool TFileStream::Truncate(int64_t size) {
  return handle_ != -1 && size >= 0 && ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

bool TFileStream::Flush() {
  return handle_ != -1 && ::fsync(static_cast<int>(handle_)) == 0;
}

void TFileStream::StartWriteBack(int64_t offset, size_t size) {
#ifdef __linux__
  if (handle_ != -1 && offset >= 0)
    ::sync_file_range(static_cast<int>(handle_), static_cast<off_t>(offset), static_cast<off_t>(size),
                      SYNC_FILE_RANGE_WRITE);
#else
  (void)offset;
  (void)size;
#endif
}

}  // namespace lg::plat
