#include "tests/support/ZipLegacyEncoders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lg::test {
namespace {

class TBitWriter {
 public:
  void Bits(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if ((value >> i) & 1) current_ |= static_cast<uint8_t>(1u << used_);
      if (++used_ == 8) {
        out_ += static_cast<char>(current_);
        current_ = 0;
        used_ = 0;
      }
    }
  }
  std::string Finish() {
    if (used_) out_ += static_cast<char>(current_);
    used_ = 0;
    current_ = 0;
    return out_;
  }

 private:
  std::string out_;
  uint8_t current_ = 0;
  unsigned used_ = 0;
};

// Longest earlier match for position `at` within `window` bytes back.
void FindMatch(std::string_view data, size_t at, size_t window, size_t maxLength, size_t& length, size_t& distance) {
  length = 0;
  distance = 0;
  const size_t limit = std::min(maxLength, data.size() - at);
  const size_t first = at > window ? at - window : 0;
  for (size_t from = at; from-- > first;) {
    size_t n = 0;
    while (n < limit && data[from + n] == data[at + n]) ++n;
    if (n > length) {
      length = n;
      distance = at - from;
      if (n == limit) break;
    }
  }
}

}  // namespace

std::string ShrinkBytes(std::string_view data) {
  constexpr uint32_t kCodes = 8192;
  std::vector<bool> used(kCodes, false);
  std::vector<uint16_t> prefix(kCodes, 0);
  std::vector<uint8_t> byte(kCodes, 0);
  std::unordered_map<uint32_t, uint16_t> children;  // (prefix << 8 | byte) -> code
  for (uint32_t c = 0; c <= 256; ++c) used[c] = true;
  unsigned bits = 9;
  uint32_t nextFree = 257;
  TBitWriter out;
  const auto emit = [&](uint32_t code) {
    while (code >= (1u << bits)) {
      out.Bits(256, bits);
      out.Bits(1, bits);
      ++bits;
    }
    out.Bits(code, bits);
  };
  const auto findFree = [&] {
    while (nextFree < kCodes && used[nextFree]) ++nextFree;
    return nextFree;
  };
  int64_t previous = -1;
  size_t i = 0;
  while (i < data.size()) {
    uint32_t code = static_cast<uint8_t>(data[i]);
    size_t length = 1;
    while (i + length < data.size()) {
      auto it = children.find((code << 8) | static_cast<uint8_t>(data[i + length]));
      if (it == children.end()) break;
      code = it->second;
      ++length;
    }
    // A full table gets a partial clear at once, as other shrink decoders
    // expect: they look for a free code after every code.
    if (findFree() == kCodes) {
      out.Bits(256, bits);
      out.Bits(2, bits);
      std::vector<bool> parent(kCodes, false);
      for (uint32_t c = 257; c < kCodes; ++c)
        if (used[c]) parent[prefix[c]] = true;
      for (uint32_t c = 257; c < kCodes; ++c) {
        if (used[c] && !parent[c]) {
          used[c] = false;
          auto it = children.find((static_cast<uint32_t>(prefix[c]) << 8) | byte[c]);
          if (it != children.end() && it->second == c) children.erase(it);
        }
      }
      nextFree = 257;
      // The matched string may have lost codes: match again.
      continue;
    }
    emit(code);
    if (previous >= 0) {
      const uint32_t fresh = findFree();
      if (fresh < kCodes) {
        used[fresh] = true;
        prefix[fresh] = static_cast<uint16_t>(previous);
        byte[fresh] = static_cast<uint8_t>(data[i]);
        children.emplace((static_cast<uint32_t>(previous) << 8) | static_cast<uint8_t>(data[i]),
                         static_cast<uint16_t>(fresh));
      }
    }
    previous = code;
    i += length;
  }
  return out.Finish();
}

std::string ReduceBytes(std::string_view data, int factor) {
  constexpr uint8_t kDle = 144;
  const uint32_t lengthMask = 0x7Fu >> (factor - 1);
  const unsigned shift = 8u - static_cast<unsigned>(factor);
  const size_t window = size_t{256} << factor;
  // First layer: literals with DLE escapes and DLE-coded matches.
  std::string layer;
  for (size_t i = 0; i < data.size();) {
    size_t length, distance;
    FindMatch(data, i, window, lengthMask + 255 + 3, length, distance);
    if (length >= 3) {
      const uint32_t extra = static_cast<uint32_t>(length - 3);
      const uint32_t high = static_cast<uint32_t>((distance - 1) >> 8) << shift;
      const uint32_t v = (extra >= lengthMask ? lengthMask : extra) | high;
      if (v != 0) {  // V = 0 would read as a literal DLE
        layer += static_cast<char>(kDle);
        layer += static_cast<char>(v);
        if (extra >= lengthMask) layer += static_cast<char>(extra - lengthMask);
        layer += static_cast<char>((distance - 1) & 0xFF);
        i += length;
        continue;
      }
    }
    layer += data[i];
    if (static_cast<uint8_t>(data[i]) == kDle) layer += '\0';
    ++i;
  }
  // Follower sets: the most frequent successors of each byte, at most 32.
  std::vector<std::array<uint32_t, 256>> counts(256);
  for (auto& c : counts) c.fill(0);
  uint8_t last = 0;
  for (char ch : layer) {
    ++counts[last][static_cast<uint8_t>(ch)];
    last = static_cast<uint8_t>(ch);
  }
  std::vector<std::vector<uint8_t>> followers(256);
  for (int j = 0; j < 256; ++j) {
    std::vector<uint8_t> candidates;
    for (int b = 0; b < 256; ++b)
      if (counts[j][b]) candidates.push_back(static_cast<uint8_t>(b));
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](uint8_t a, uint8_t b) { return counts[j][a] > counts[j][b]; });
    if (candidates.size() > 32) candidates.resize(32);
    followers[j] = candidates;
  }
  TBitWriter out;
  for (int j = 255; j >= 0; --j) {
    out.Bits(static_cast<uint32_t>(followers[j].size()), 6);
    for (uint8_t b : followers[j]) out.Bits(b, 8);
  }
  const auto indexBits = [](size_t n) -> unsigned { return n > 16 ? 5 : n > 8 ? 4 : n > 4 ? 3 : n > 2 ? 2 : 1; };
  last = 0;
  for (char ch : layer) {
    const uint8_t c = static_cast<uint8_t>(ch);
    const auto& set = followers[last];
    if (set.empty()) {
      out.Bits(c, 8);
    } else {
      size_t k = 0;
      while (k < set.size() && set[k] != c) ++k;
      if (k < set.size()) {
        out.Bits(0, 1);
        out.Bits(static_cast<uint32_t>(k), indexBits(set.size()));
      } else {
        out.Bits(1, 1);
        out.Bits(c, 8);
      }
    }
    last = c;
  }
  return out.Finish();
}

namespace {

// A tree as bit lengths per symbol, its run-length form and its codes.
struct TTree {
  std::vector<uint8_t> lengths;
  std::vector<uint32_t> codes;

  explicit TTree(std::vector<uint8_t> l) : lengths(std::move(l)), codes(lengths.size()) {
    // Canonical codes: shorter first, then by symbol.
    uint32_t code = 0;
    for (unsigned len = 1; len <= 16; ++len) {
      for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] == len) codes[s] = code++;
      code <<= 1;
    }
  }
  void WriteShape(TBitWriter& out) const {
    std::vector<uint8_t> bytes;
    for (size_t s = 0; s < lengths.size();) {
      size_t run = 1;
      while (s + run < lengths.size() && lengths[s + run] == lengths[s] && run < 16) ++run;
      bytes.push_back(static_cast<uint8_t>(((run - 1) << 4) | (lengths[s] - 1)));
      s += run;
    }
    out.Bits(static_cast<uint32_t>(bytes.size() - 1), 8);
    for (uint8_t b : bytes) out.Bits(b, 8);
  }
  // First code bit first, every bit inverted.
  void Write(TBitWriter& out, size_t symbol) const {
    for (unsigned i = lengths[symbol]; i-- > 0;) out.Bits(((codes[symbol] >> i) & 1) ^ 1, 1);
  }
};

std::vector<uint8_t> Lengths(std::initializer_list<std::pair<size_t, uint8_t>> runs) {
  std::vector<uint8_t> out;
  for (auto [count, length] : runs) out.insert(out.end(), count, length);
  return out;
}

}  // namespace

std::string ImplodeBytes(std::string_view data, bool bigWindow, bool literalTree) {
  const TTree literals(Lengths({{64, 8}, {64, 7}, {128, 9}}));
  const TTree lengths(Lengths({{8, 4}, {16, 6}, {24, 7}, {16, 8}}));
  const TTree distances(Lengths({{64, 6}}));
  const unsigned lowBits = bigWindow ? 7 : 6;
  const size_t minLength = literalTree ? 3 : 2;
  TBitWriter out;
  if (literalTree) literals.WriteShape(out);
  lengths.WriteShape(out);
  distances.WriteShape(out);
  for (size_t i = 0; i < data.size();) {
    size_t length, distance;
    FindMatch(data, i, size_t{1} << (lowBits + 6), minLength + 63 + 255, length, distance);
    if (length >= minLength) {
      out.Bits(0, 1);
      const uint32_t d = static_cast<uint32_t>(distance - 1);
      out.Bits(d & ((1u << lowBits) - 1), lowBits);
      distances.Write(out, d >> lowBits);
      const size_t code = length - minLength;
      if (code >= 63) {
        lengths.Write(out, 63);
        out.Bits(static_cast<uint32_t>(code - 63), 8);
      } else {
        lengths.Write(out, code);
      }
      i += length;
      continue;
    }
    out.Bits(1, 1);
    const uint8_t c = static_cast<uint8_t>(data[i]);
    if (literalTree) {
      literals.Write(out, c);
    } else {
      out.Bits(c, 8);
    }
    ++i;
  }
  return out.Finish();
}

std::string SampleText(size_t size, unsigned seed) {
  static const char* const kWords[] = {"launcher", "patch", "zone", "server", "data",    "client", "update", "the",
                                       "of",       "file",  "zip",  "\x90",   "archive", "window", "game",   "folder"};
  uint32_t state = seed * 2654435761u + 12345u;
  const auto next = [&] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  std::string out;
  while (out.size() < size) {
    const uint32_t r = next();
    if (r % 23 == 0) {
      out += static_cast<char>(next() & 0xFF);
    } else {
      out += kWords[r % 16];
      out += (r % 7 == 0) ? ".\n" : " ";
    }
  }
  out.resize(size);
  return out;
}

}  // namespace lg::test
