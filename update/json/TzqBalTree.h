// The name index of a JSON object: an AA tree (a balanced binary search
// tree) from member name to the member's position in the object, ordered by
// ordinal comparison of UTF-16 code units. Inserting a name that is already
// present changes nothing, so a lookup always finds the first member of that
// name. Read-only once built; not thread-safe while building.
//
// The tree owns nothing: its nodes live in storage the caller provides (the
// document's arena for a parsed object) and each node views its name, which
// must outlive the tree. Nodes link by number, 1 for storage[0]; 0 is the
// shared sentinel at the bottom of the tree (level 0).
#pragma once

#include <cstdint>
#include <string_view>

namespace lg {

struct TzqBalNode {
  uint32_t Left = 0;
  uint32_t Right = 0;
  int32_t Position = -1;
  uint8_t Level = 0;
  std::u16string_view Name;
};

class TzqBalTree {
 public:
  TzqBalTree() = default;
  // Room for `capacity` names in `storage`.
  TzqBalTree(TzqBalNode* storage, uint32_t capacity) : nodes_(storage), capacity_(capacity) {}

  // False (and no change) when the name is already present or the storage
  // is full.
  bool Insert(std::u16string_view name, int32_t position);
  // Position stored for `name`, or -1.
  int32_t Find(std::u16string_view name) const;
  // The same for a name given as ASCII bytes, without converting it.
  int32_t FindAscii(std::string_view name) const;
  size_t Size() const { return size_; }
  // Height of the tree (for tests of the balance).
  int Height() const { return HeightOf(root_); }

 private:
  const TzqBalNode& At(uint32_t t) const { return t == 0 ? kSentinel : nodes_[t - 1]; }
  TzqBalNode& At(uint32_t t) { return nodes_[t - 1]; }
  uint32_t Skew(uint32_t t);
  uint32_t Split(uint32_t t);
  uint32_t InsertAt(uint32_t t, uint32_t fresh, bool& inserted);
  int HeightOf(uint32_t t) const;

  static const TzqBalNode kSentinel;

  TzqBalNode* nodes_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t size_ = 0;
  uint32_t root_ = 0;
};

}  // namespace lg
