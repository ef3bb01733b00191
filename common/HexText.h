// Bytes as lowercase hexadecimal text (digests, keys, signatures) and back.
// No shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lg {

std::string HexText(const uint8_t* data, size_t size);
// Exactly 2 * `size` hexadecimal digits (either case) into `out`; false
// and `out` left as it may be otherwise.
bool ParseHexExact(std::string_view text, uint8_t* out, size_t size);

}  // namespace lg
