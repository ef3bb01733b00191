// GBK text helpers on top of the platform layer's converters. Source files
// are UTF-8; texts that the system shows, logs or sends go through Gbk().
#pragma once

#include <string>
#include <string_view>

#include "common/Platform.h"

namespace lg {

// A UTF-8 literal of the source as GBK bytes.
inline std::string Gbk(std::string_view utf8) {
  return plat::GbkFromUtf8(utf8);
}

// True when byte `c` starts a GBK double-byte character.
inline bool IsGbkLeadByte(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}

}  // namespace lg
