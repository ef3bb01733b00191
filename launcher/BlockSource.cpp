#include "launcher/BlockSource.h"

#include <cstring>

namespace lg {

bool IBlockSource::Contains(int64_t offset, int64_t size) const {
  const int64_t total = Size();
  if (total < 0 || offset < 0 || size < 0) return false;
  // Written as a subtraction so that no sum can overflow.
  return offset <= total && size <= total - offset;
}

bool IBlockSource::ReadAt(int64_t offset, void* data, size_t size) {
  // A size past INT64_MAX turns negative here and is refused by Contains.
  if (!Contains(offset, static_cast<int64_t>(size))) return false;
  if (size == 0) return true;
  return RawRead(offset, data, size);
}

bool TMemoryBlockSource::RawRead(int64_t offset, void* data, size_t size) {
  std::memcpy(data, data_ + offset, size);
  return true;
}

TFileBlockSource::TFileBlockSource(const std::string& path) {
  if (file_.Open(path, plat::TFileStream::Mode::Read)) size_ = file_.Size();
}

bool TFileBlockSource::RawRead(int64_t offset, void* data, size_t size) {
  return file_.ReadAt(offset, data, size) == static_cast<int64_t>(size);
}

}  // namespace lg
