// Network adapters' hardware addresses (part of the platform layer). On
// Windows the IP helper library is loaded at run time, so a system without
// it still starts; on POSIX the interface list of the system is read.
//
// Thread safety: may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lg::plat {

// "00-1A-2B-3C-4D-5E": two upper-case hexadecimal digits per byte, joined by
// "-"; empty for no bytes.
std::string FormatHardwareAddress(const std::vector<uint8_t>& bytes);

// The address of the adapter at `position` (0 = first) in the system's list
// of network adapters (loopback excluded); empty when the list is shorter or
// cannot be read.
std::string AdapterHardwareAddressText(int position);

}  // namespace lg::plat
