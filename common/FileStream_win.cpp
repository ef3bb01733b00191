#include <windows.h>

#include "common/FileStream.h"
#include "common/WinPath.h"

namespace lg::plat {
namespace {

HANDLE H(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

// ReadFile/WriteFile take 32-bit counts: large requests go in slices.
constexpr size_t kSlice = 64u << 20;

}  // namespace

TFileStream::~TFileStream() {
  Close();
}

bool TFileStream::Open(const std::string& path, Mode mode) {
  Close();
  DWORD access = mode == Mode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if (mode == Mode::Create) disposition = CREATE_ALWAYS;
  if (mode == Mode::OpenOrCreate) disposition = OPEN_ALWAYS;
  if (mode == Mode::CreateNew) disposition = CREATE_NEW;
  HANDLE h = CreateFileW(WidePathOf(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void TFileStream::Close() {
  if (handle_ != -1) CloseHandle(H(handle_));
  handle_ = -1;
}

int64_t TFileStream::Size() const {
  LARGE_INTEGER size;
  if (handle_ == -1 || !GetFileSizeEx(H(handle_), &size)) return -1;
  return size.QuadPart;
}

bool TFileStream::Seek(int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return handle_ != -1 && offset >= 0 && SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN);
}

int64_t TFileStream::Position() const {
  LARGE_INTEGER zero{}, pos{};
  if (handle_ == -1 || !SetFilePointerEx(H(handle_), zero, &pos, FILE_CURRENT)) return -1;
  return pos.QuadPart;
}

int64_t TFileStream::Read(void* data, size_t size) {
  if (handle_ == -1) return -1;
  auto p = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(H(handle_), p + done, static_cast<DWORD>(std::min(size - done, kSlice)), &got, nullptr)) return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool TFileStream::Write(const void* data, size_t size) {
  if (handle_ == -1) return false;
  auto p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    DWORD put = 0;
    if (!WriteFile(H(handle_), p + done, static_cast<DWORD>(std::min(size - done, kSlice)), &put, nullptr) || put == 0)
      return false;
    done += put;
  }
  return true;
}

int64_t TFileStream::ReadAt(int64_t offset, void* data, size_t size) {
  if (handle_ == -1 || offset < 0) return -1;
  // Positioned reads move the file pointer on Windows: keep it.
  int64_t saved = Position();
  auto p = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    OVERLAPPED o = At(offset + static_cast<int64_t>(done));
    DWORD got = 0;
    if (!ReadFile(H(handle_), p + done, static_cast<DWORD>(std::min(size - done, kSlice)), &got, &o)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  Seek(saved);
  return static_cast<int64_t>(done);
}

bool TFileStream::WriteAt(int64_t offset, const void* data, size_t size) {
  if (handle_ == -1 || offset < 0) return false;
  int64_t saved = Position();
  auto p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    OVERLAPPED o = At(offset + static_cast<int64_t>(done));
    DWORD put = 0;
    if (!WriteFile(H(handle_), p + done, static_cast<DWORD>(std::min(size - done, kSlice)), &put, &o) || put == 0)
      return false;
    done += put;
  }
  Seek(saved);
  return true;
}

bool TFileStream::Truncate(int64_t size) {
  if (handle_ == -1 || size < 0) return false;
  int64_t saved = Position();
  if (!Seek(size) || !SetEndOfFile(H(handle_))) return false;
  return Seek(std::min(saved, size));
}

bool TFileStream::Flush() {
  return handle_ != -1 && FlushFileBuffers(H(handle_));
}

// Windows has no call that starts the write-back of a range without waiting
// for it; the cache manager's lazy writer does it on its own schedule.
void TFileStream::StartWriteBack(int64_t, size_t) {}

}  // namespace lg::plat
