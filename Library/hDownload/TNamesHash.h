// A table from text names (GBK) to opaque values, with look-up that ignores
// the letter case of ASCII letters, and a walk in the order the names were
// added. The update engine keys its local file records by file name here
// and sets OnRelease to dispose of them.
//
// Threads: the table takes no lock of its own; its user calls it from one
// thread. Lock() is there for users that share a table.
// Ownership: values belong to the user; OnRelease is called for every entry
// that Remove or Clear (also from the destructor) takes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lg {

class TNamesHash {
 public:
  using TReleaseEvent = std::function<void(void* value, const std::string& name)>;

  explicit TNamesHash(int bucketCount);
  ~TNamesHash();
  TNamesHash(const TNamesHash&) = delete;
  TNamesHash& operator=(const TNamesHash&) = delete;

  // False, and no change, when the name is already present.
  bool Add(std::string_view name, void* value);
  // The value, or nullptr when absent.
  void* Find(std::string_view name) const;
  bool Remove(std::string_view name);
  void Clear();

  // Walk in the order of Add: First(), then Next() while !AtEnd(). Removing
  // the entry under the cursor moves the cursor to the following entry.
  void First();
  // The value at the cursor, advancing it; at the end it restarts from the
  // first entry; nullptr on an empty table.
  void* Next();
  bool AtEnd() const { return Cursor == nullptr; }

  int Count() const { return count_; }
  int BucketCount() const { return bucketCount_; }
  std::mutex& Lock() { return lock_; }

  // The hash of a name: ASCII capitals fold to small letters, except the
  // trail byte of a GBK double-byte character, which is used unchanged.
  static uint32_t Hash(std::string_view name);
  // The comparison of names: equal when equal after that same folding.
  static bool SameName(std::string_view a, std::string_view b);

  TReleaseEvent OnRelease;

 private:
  struct TEntry {
    TEntry* OrderPrev = nullptr;
    TEntry* OrderNext = nullptr;
    std::string Name;
    void* Value = nullptr;
  };
  // A bucket keeps beside each entry a second hash of its folded name: a
  // look-up scans one small array and compares names only where those
  // agree, instead of visiting every entry of a long chain (names that
  // differ in a digit or two often share a bucket, and even the whole
  // bucket hash).
  struct TSlot {
    uint32_t Check;
    TEntry* Entry;
  };
  struct THashes {
    uint32_t Bucket;  // Hash()
    uint32_t Check;
  };
  static THashes Hashes(std::string_view name);
  using TBucket = std::vector<TSlot>;

  size_t BucketIndex(uint32_t hash) const { return hash % static_cast<uint32_t>(bucketCount_); }
  // The entry's place in its bucket, or -1 when absent.
  static ptrdiff_t FindSlot(const TBucket& bucket, std::string_view name, uint32_t check);

  int bucketCount_;
  std::vector<TBucket> buckets_;
  int count_ = 0;
  TEntry* Head = nullptr;
  TEntry* Tail = nullptr;
  TEntry* Cursor = nullptr;
  std::mutex lock_;
};

}  // namespace lg
