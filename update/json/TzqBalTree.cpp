#include "update/json/TzqBalTree.h"

#include <algorithm>

namespace lg {

const TzqBalNode TzqBalTree::kSentinel{};

uint32_t TzqBalTree::Skew(uint32_t t) {
  if (t == 0) return t;
  uint32_t l = At(t).Left;
  if (l != 0 && At(l).Level == At(t).Level) {
    At(t).Left = At(l).Right;
    At(l).Right = t;
    return l;
  }
  return t;
}

uint32_t TzqBalTree::Split(uint32_t t) {
  if (t == 0) return t;
  uint32_t r = At(t).Right;
  if (r != 0 && At(r).Right != 0 && At(At(r).Right).Level == At(t).Level) {
    At(t).Right = At(r).Left;
    At(r).Left = t;
    ++At(r).Level;
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
  int c = At(fresh).Name.compare(At(t).Name);
  if (c == 0) return t;
  if (c < 0) {
    uint32_t l = InsertAt(At(t).Left, fresh, inserted);
    At(t).Left = l;
  } else {
    uint32_t r = InsertAt(At(t).Right, fresh, inserted);
    At(t).Right = r;
  }
  return Split(Skew(t));
}

bool TzqBalTree::Insert(std::u16string_view name, int32_t position) {
  if (size_ >= capacity_) return false;
  uint32_t fresh = size_ + 1;
  TzqBalNode& node = At(fresh);
  node = TzqBalNode{};
  node.Level = 1;
  node.Position = position;
  node.Name = name;
  bool inserted = false;
  root_ = InsertAt(root_, fresh, inserted);
  if (inserted) ++size_;
  return inserted;
}

int32_t TzqBalTree::Find(std::u16string_view name) const {
  uint32_t t = root_;
  while (t != 0) {
    const TzqBalNode& n = At(t);
    int c = name.compare(n.Name);
    if (c == 0) return n.Position;
    t = c < 0 ? n.Left : n.Right;
  }
  return -1;
}

namespace {

// Ordinal comparison of ASCII bytes with UTF-16 code units.
int CompareAscii(std::string_view a, std::u16string_view b) {
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
    const TzqBalNode& n = At(t);
    int c = CompareAscii(name, n.Name);
    if (c == 0) return n.Position;
    t = c < 0 ? n.Left : n.Right;
  }
  return -1;
}

int TzqBalTree::HeightOf(uint32_t t) const {
  if (t == 0) return 0;
  return 1 + std::max(HeightOf(At(t).Left), HeightOf(At(t).Right));
}

}  // namespace lg
