#include "update/json/TzqJSONarena.h"

#include <mutex>

namespace lg {
namespace {

// Free blocks of kLargestBlock bytes. Never destroyed, so a document that
// outlives static destruction can still give its blocks back.
struct TPool {
  std::mutex Lock;
  std::vector<char*> Blocks;
};

TPool& Pool() {
  static TPool* pool = new TPool;
  return *pool;
}

}  // namespace

TzqJSONarena::TzqJSONarena(TzqJSONarena&& other) noexcept
    : blocks_(std::move(other.blocks_)),
      blockStart_(other.blockStart_),
      next_(other.next_),
      end_(other.end_),
      nextBlock_(other.nextBlock_),
      capacity_(other.capacity_) {
  other.blocks_.clear();
  other.blockStart_ = other.next_ = other.end_ = nullptr;
  other.capacity_ = 0;
}

TzqJSONarena::~TzqJSONarena() {
  TPool& pool = Pool();
  std::vector<char*> keep;
  for (const TBlock& b : blocks_) {
    if (b.Size == kLargestBlock) {
      keep.push_back(b.Data);
    } else {
      delete[] b.Data;
    }
  }
  if (keep.empty()) return;
  {
    std::lock_guard<std::mutex> guard(pool.Lock);
    while (!keep.empty() && pool.Blocks.size() * kLargestBlock < kPoolBytes) {
      pool.Blocks.push_back(keep.back());
      keep.pop_back();
    }
  }
  for (char* data : keep) delete[] data;
}

size_t TzqJSONarena::PooledBytes() {
  TPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.Lock);
  return pool.Blocks.size() * kLargestBlock;
}

char* TzqJSONarena::NewBlock(size_t size) {
  blocks_.reserve(blocks_.size() + 1);  // first, so that a throw cannot lose a block
  char* data = nullptr;
  if (size == kLargestBlock) {
    TPool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.Lock);
    if (!pool.Blocks.empty()) {
      data = pool.Blocks.back();
      pool.Blocks.pop_back();
    }
  }
  if (!data) data = new char[size];
  blocks_.push_back({data, size});
  capacity_ += size;
  return data;
}

void* TzqJSONarena::Allocate(size_t size) {
  size = (size + kAlign - 1) & ~(kAlign - 1);
  // A long string gets a block of its own, and the current block stays in
  // use for what follows.
  if (size > kLargestBlock / 4) return NewBlock(size);
  if (static_cast<size_t>(end_ - next_) < size) {
    // Blocks double up to kLargestBlock, so a small document (the server
    // list) costs one small block and a large one wastes little at the
    // tail of each.
    size_t block = nextBlock_;
    if (nextBlock_ < kLargestBlock) nextBlock_ *= 2;
    blockStart_ = next_ = NewBlock(block);
    end_ = next_ + block;
  }
  char* p = next_;
  next_ += size;
  return p;
}

void TzqJSONarena::Shrink(void* start, size_t used) {
  char* s = static_cast<char*>(start);
  used = (used + kAlign - 1) & ~(kAlign - 1);
  if (s < blockStart_ || s > next_ || used > static_cast<size_t>(next_ - s)) return;
  next_ = s + used;
}

}  // namespace lg
