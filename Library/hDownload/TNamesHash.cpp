#include "Library/hDownload/TNamesHash.h"

#include "common/AsciiCase.h"
#include "common/Gbk.h"

namespace lg {

TNamesHash::TNamesHash(int bucketCount)
    : bucketCount_(bucketCount > 0 ? bucketCount : 1), buckets_(static_cast<size_t>(bucketCount_)) {}

TNamesHash::~TNamesHash() {
  Clear();
}

uint32_t TNamesHash::Hash(std::string_view name) {
  return Hashes(name).Bucket;
}

// Both hashes over the same folded bytes; the check is FNV-1a, which tells
// apart the names the bucket hash lets collide.
TNamesHash::THashes TNamesHash::Hashes(std::string_view name) {
  uint32_t h = 0;
  uint32_t check = 2166136261u;
  bool trail = false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (trail) {
      trail = false;
    } else {
      trail = IsGbkLeadByte(c);
      c = AsciiLower(c);
    }
    h = ((h << 2) | (h >> 30)) ^ c;
    check = (check ^ c) * 16777619u;
  }
  return {h, check};
}

// The same folding as Hash, so that two names are equal exactly when they
// could share a bucket for that reason; letters outside ASCII keep their
// case (a locale comparison would fold them while the hash does not).
bool TNamesHash::SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  bool trail = false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (trail) {
      trail = false;
      if (x != y) return false;
      continue;
    }
    // Equal folded bytes are either both lead bytes or neither.
    if (AsciiLower(x) != AsciiLower(y)) return false;
    trail = IsGbkLeadByte(x);
  }
  return true;
}

ptrdiff_t TNamesHash::FindSlot(const TBucket& bucket, std::string_view name, uint32_t check) {
  for (size_t i = 0; i < bucket.size(); ++i)
    if (bucket[i].Check == check && SameName(bucket[i].Entry->Name, name)) return static_cast<ptrdiff_t>(i);
  return -1;
}

bool TNamesHash::Add(std::string_view name, void* value) {
  const THashes hash = Hashes(name);
  TBucket& bucket = buckets_[BucketIndex(hash.Bucket)];
  if (FindSlot(bucket, name, hash.Check) >= 0) return false;
  auto* e = new TEntry;
  e->Name.assign(name);
  e->Value = value;
  bucket.push_back({hash.Check, e});
  e->OrderPrev = Tail;
  if (Tail)
    Tail->OrderNext = e;
  else
    Head = e;
  Tail = e;
  ++count_;
  return true;
}

void* TNamesHash::Find(std::string_view name) const {
  const THashes hash = Hashes(name);
  const TBucket& bucket = buckets_[BucketIndex(hash.Bucket)];
  const ptrdiff_t i = FindSlot(bucket, name, hash.Check);
  return i >= 0 ? bucket[static_cast<size_t>(i)].Entry->Value : nullptr;
}

bool TNamesHash::Remove(std::string_view name) {
  const THashes hash = Hashes(name);
  TBucket& bucket = buckets_[BucketIndex(hash.Bucket)];
  const ptrdiff_t i = FindSlot(bucket, name, hash.Check);
  if (i < 0) return false;
  TEntry* e = bucket[static_cast<size_t>(i)].Entry;
  // The order within a bucket means nothing: the last slot fills the gap.
  bucket[static_cast<size_t>(i)] = bucket.back();
  bucket.pop_back();
  if (e->OrderPrev)
    e->OrderPrev->OrderNext = e->OrderNext;
  else
    Head = e->OrderNext;
  if (e->OrderNext)
    e->OrderNext->OrderPrev = e->OrderPrev;
  else
    Tail = e->OrderPrev;
  if (Cursor == e) Cursor = e->OrderNext;
  --count_;
  // Unlinked first: a release handler that looks at the table sees it
  // without the entry.
  if (OnRelease) OnRelease(e->Value, e->Name);
  delete e;
  return true;
}

void TNamesHash::Clear() {
  TEntry* e = Head;
  Head = Tail = Cursor = nullptr;
  for (TBucket& b : buckets_) b.clear();
  count_ = 0;
  while (e) {
    TEntry* next = e->OrderNext;
    if (OnRelease) OnRelease(e->Value, e->Name);
    delete e;
    e = next;
  }
}

void TNamesHash::First() {
  Cursor = Head;
}

void* TNamesHash::Next() {
  if (!Cursor) Cursor = Head;
  if (!Cursor) return nullptr;
  void* value = Cursor->Value;
  Cursor = Cursor->OrderNext;
  return value;
}

}  // namespace lg
