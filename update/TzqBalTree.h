// The name index of a JSON object: an AA tree (a balanced binary search
// tree) from member name to the member's position in the object, ordered by
// ordinal comparison of UTF-16 code units. Inserting a name that is already
// present changes nothing, so a lookup always finds the first member of that
// name. Owned by its object; not thread-safe, read-only once parsed.
//
// Nodes live in one vector and link by index; index 0 is the shared
// sentinel at the bottom of the tree (level 0, links to itself).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lg {

struct TzqBalNode {
  uint32_t Left = 0;
  uint32_t Right = 0;
  uint8_t Level = 0;
  int32_t Position = -1;
  std::u16string Name;
};

class TzqBalTree {
 public:
  TzqBalTree();

  // False (and no change) when the name is already present.
  bool Insert(std::u16string name, int32_t position);
  // Position stored for `name`, or -1.
  int32_t Find(std::u16string_view name) const;
  // The same for a name given as ASCII bytes, without converting it.
  int32_t FindAscii(std::string_view name) const;
  size_t Size() const { return nodes_.size() - 1; }
  // Height of the tree (for tests of the balance).
  int Height() const { return HeightOf(root_); }

 private:
  uint32_t Skew(uint32_t t);
  uint32_t Split(uint32_t t);
  uint32_t InsertAt(uint32_t t, uint32_t fresh, bool& inserted);
  int HeightOf(uint32_t t) const;

  std::vector<TzqBalNode> nodes_;
  uint32_t root_ = 0;
};

}  // namespace lg
