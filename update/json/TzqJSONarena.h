// The memory of one parsed JSON document: nodes, child arrays and string
// text are carved from a few large blocks instead of one heap allocation
// each, and all of it goes at once with the document's root. Nothing
// placed here has its destructor run, so only types that own nothing else
// may live in it.
//
// Blocks of a freed document wait in a process-wide pool (at most
// kPoolBytes, under its own lock) for the next document: the update pass
// parses the same manifest twice, and memory handed back to the system
// costs a page fault per page when it is touched again. An arena is
// move-only and used by one thread at a time; the pool may be used from
// any thread.
#pragma once

#include <cstddef>
#include <vector>

namespace lg {

class TzqJSONarena {
 public:
  // Largest block size; the pool keeps blocks of this size only.
  static constexpr size_t kLargestBlock = 64 << 10;
  static constexpr size_t kPoolBytes = 32 << 20;

  TzqJSONarena() = default;
  ~TzqJSONarena();
  TzqJSONarena(TzqJSONarena&& other) noexcept;
  TzqJSONarena& operator=(TzqJSONarena&&) = delete;
  TzqJSONarena(const TzqJSONarena&) = delete;
  TzqJSONarena& operator=(const TzqJSONarena&) = delete;

  // `size` bytes aligned for any node type; never nullptr (throws
  // std::bad_alloc like operator new).
  void* Allocate(size_t size);
  template <typename T>
  T* AllocateArray(size_t count) {
    return static_cast<T*>(Allocate(count * sizeof(T)));
  }
  // Gives back the unused tail of the most recent allocation, which began
  // at `start` and now needs only `used` bytes.
  void Shrink(void* start, size_t used);
  // Bytes held in blocks, used or not.
  size_t Capacity() const { return capacity_; }
  // Bytes waiting in the pool (for tests).
  static size_t PooledBytes();

 private:
  // Enough for every node member (pointers, doubles) on both builds.
  static constexpr size_t kAlign = 8;
  static constexpr size_t kFirstBlock = 4096;

  struct TBlock {
    char* Data;
    size_t Size;
  };

  char* NewBlock(size_t size);

  std::vector<TBlock> blocks_;
  char* blockStart_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  size_t nextBlock_ = kFirstBlock;
  size_t capacity_ = 0;
};

}  // namespace lg
