#include "common/AdapterInfo.h"

namespace lg::plat {

std::string FormatHardwareAddress(const std::vector<uint8_t>& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += '-';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out;
}

}  // namespace lg::plat
