// Byte sources the deployment block reader works on: the launcher's own
// executable (opened read-only, deny-none, positioned by absolute offsets) or
// a copy in memory (fuzzing, tools, tests). Every read is checked against the
// real size first, in 64-bit arithmetic, so offsets taken from a damaged
// block can never read outside the data.
//
// One thread at a time; a source owns its file handle, a memory source only
// refers to the caller's bytes, which must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/FileStream.h"

namespace lg {

class IBlockSource {
 public:
  virtual ~IBlockSource() = default;
  // Total size in bytes; -1 when the source could not be opened.
  virtual int64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false (and nothing read) when the
  // range does not lie inside the source.
  bool ReadAt(int64_t offset, void* data, size_t size);
  // True when [offset, offset + size) lies inside the source.
  bool Contains(int64_t offset, int64_t size) const;

 protected:
  virtual bool RawRead(int64_t offset, void* data, size_t size) = 0;
};

class TMemoryBlockSource : public IBlockSource {
 public:
  TMemoryBlockSource(const void* data, size_t size) : data_(static_cast<const char*>(data)), size_(size) {}
  explicit TMemoryBlockSource(std::string_view bytes) : TMemoryBlockSource(bytes.data(), bytes.size()) {}
  int64_t Size() const override { return static_cast<int64_t>(size_); }

 protected:
  bool RawRead(int64_t offset, void* data, size_t size) override;

 private:
  const char* data_;
  size_t size_;
};

class TFileBlockSource : public IBlockSource {
 public:
  explicit TFileBlockSource(const std::string& path);
  int64_t Size() const override { return size_; }

 protected:
  bool RawRead(int64_t offset, void* data, size_t size) override;

 private:
  plat::TFileStream file_;
  int64_t size_ = -1;
};

}  // namespace lg
