#include "Library/hDownload/TNamesHash.h"

#include "common/AsciiCase.h"
#include "common/Gbk.h"

namespace lg {

TNamesHash::TNamesHash(int bucketCount)
    : bucketCount_(bucketCount > 0 ? bucketCount : 1), buckets_(static_cast<size_t>(bucketCount_), nullptr) {}

TNamesHash::~TNamesHash() {
  Clear();
}

uint32_t TNamesHash::Hash(std::string_view name) {
  uint32_t h = 0;
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
  }
  return h;
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

TNamesHash::TEntry* TNamesHash::FindEntry(std::string_view name, size_t& bucket) const {
  bucket = Hash(name) % static_cast<uint32_t>(bucketCount_);
  for (TEntry* e = buckets_[bucket]; e; e = e->BucketNext)
    if (SameName(e->Name, name)) return e;
  return nullptr;
}

bool TNamesHash::Add(std::string_view name, void* value) {
  size_t bucket = 0;
  if (FindEntry(name, bucket)) return false;
  auto* e = new TEntry;
  e->Name.assign(name);
  e->Value = value;
  e->BucketNext = buckets_[bucket];
  if (e->BucketNext) e->BucketNext->BucketPrev = e;
  buckets_[bucket] = e;
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
  size_t bucket = 0;
  TEntry* e = FindEntry(name, bucket);
  return e ? e->Value : nullptr;
}

bool TNamesHash::Remove(std::string_view name) {
  size_t bucket = 0;
  TEntry* e = FindEntry(name, bucket);
  if (!e) return false;
  if (e->BucketPrev)
    e->BucketPrev->BucketNext = e->BucketNext;
  else
    buckets_[bucket] = e->BucketNext;
  if (e->BucketNext) e->BucketNext->BucketPrev = e->BucketPrev;
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
  for (TEntry*& b : buckets_) b = nullptr;
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
