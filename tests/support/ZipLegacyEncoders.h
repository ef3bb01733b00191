// Small encoders for the legacy zip methods, written for the tests only:
// they produce valid streams for the extractor's decoders (and for other
// unzip tools) with simple greedy matching, not good compression.
#pragma once

#include <string>
#include <string_view>

namespace lg::test {

// Method 1. Fills the string table, widens the codes up to 13 bits and
// issues partial clears when the table is full.
std::string ShrinkBytes(std::string_view data);

// Methods 2 to 5 (factor = method - 1).
std::string ReduceBytes(std::string_view data, int factor);

// Method 6. `bigWindow` and `literalTree` become general purpose flag bits
// 1 and 2 of the entry.
std::string ImplodeBytes(std::string_view data, bool bigWindow, bool literalTree);

// Deterministic text-like bytes that compress: words from a small
// vocabulary, punctuation and now and then a random byte.
std::string SampleText(size_t size, unsigned seed);

}  // namespace lg::test
