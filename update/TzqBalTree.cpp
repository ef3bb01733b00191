#include "update/TzqBalTree.h"

#include <algorithm>

namespace lg {

TzqBalTree::TzqBalTree() {
  nodes_.emplace_back();  // the sentinel
}

uint32_t TzqBalTree::Skew(uint32_t t) {
  uint32_t l = nodes_[t].Left;
  if (t != 0 && l != 0 && nodes_[l].Level == nodes_[t].Level) {
    nodes_[t].Left = nodes_[l].Right;
    nodes_[l].Right = t;
    return l;
  }
  return t;
}

uint32_t TzqBalTree::Split(uint32_t t) {
  uint32_t r = nodes_[t].Right;
  if (t != 0 && r != 0 && nodes_[nodes_[r].Right].Level == nodes_[t].Level && nodes_[r].Right != 0) {
    nodes_[t].Right = nodes_[r].Left;
    nodes_[r].Left = t;
    ++nodes_[r].Level;
    return r;
  }
  return t;
}

// Recursion depth is the tree's height, at most about 2 log2(n).
uint32_t TzqBalTree::InsertAt(uint32_t t, uint32_t fresh, bool& inserted) {
  if (t == 0) {
    inserted = true;
    return fresh;
  }
  int c = nodes_[fresh].Name.compare(nodes_[t].Name);
  if (c == 0) return t;
  if (c < 0) {
    uint32_t l = InsertAt(nodes_[t].Left, fresh, inserted);
    nodes_[t].Left = l;
  } else {
    uint32_t r = InsertAt(nodes_[t].Right, fresh, inserted);
    nodes_[t].Right = r;
  }
  return Split(Skew(t));
}

bool TzqBalTree::Insert(std::u16string name, int32_t position) {
  if (nodes_.size() == 1) nodes_.reserve(8);  // manifest entries have about six members
  TzqBalNode node;
  node.Level = 1;
  node.Position = position;
  node.Name = std::move(name);
  nodes_.push_back(std::move(node));
  uint32_t fresh = static_cast<uint32_t>(nodes_.size() - 1);
  bool inserted = false;
  root_ = InsertAt(root_, fresh, inserted);
  if (!inserted) nodes_.pop_back();
  return inserted;
}

int32_t TzqBalTree::Find(std::u16string_view name) const {
  uint32_t t = root_;
  while (t != 0) {
    int c = name.compare(nodes_[t].Name);
    if (c == 0) return nodes_[t].Position;
    t = c < 0 ? nodes_[t].Left : nodes_[t].Right;
  }
  return -1;
}

namespace {

// Ordinal comparison of ASCII bytes with UTF-16 code units.
int CompareAscii(std::string_view a, const std::u16string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = static_cast<unsigned char>(a[i]);
    if (x != b[i]) return x < b[i] ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

int32_t TzqBalTree::FindAscii(std::string_view name) const {
  uint32_t t = root_;
  while (t != 0) {
    int c = CompareAscii(name, nodes_[t].Name);
    if (c == 0) return nodes_[t].Position;
    t = c < 0 ? nodes_[t].Left : nodes_[t].Right;
  }
  return -1;
}

int TzqBalTree::HeightOf(uint32_t t) const {
  if (t == 0) return 0;
  return 1 + std::max(HeightOf(nodes_[t].Left), HeightOf(nodes_[t].Right));
}

}  // namespace lg
