// POSIX side of the adapter query: the link-layer entries of getifaddrs, in
// the order the system lists them, loopback left out as the Windows adapter
// list leaves it out.
#include "common/AdapterInfo.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <algorithm>

#if defined(__linux__)
#include <netpacket/packet.h>
#else
#include <net/if_dl.h>
#endif

namespace lg::plat {

std::string AdapterHardwareAddressText(int position) {
  if (position < 0) return std::string();
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return std::string();
  std::string result;
  int index = 0;
  for (ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || (it->ifa_flags & IFF_LOOPBACK)) continue;
    std::vector<uint8_t> bytes;
#if defined(__linux__)
    if (it->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* ll = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
    bytes.assign(ll->sll_addr, ll->sll_addr + std::min<int>(ll->sll_halen, sizeof ll->sll_addr));
#else
    if (it->ifa_addr->sa_family != AF_LINK) continue;
    const auto* dl = reinterpret_cast<const sockaddr_dl*>(it->ifa_addr);
    const auto* p = reinterpret_cast<const uint8_t*>(LLADDR(dl));
    bytes.assign(p, p + dl->sdl_alen);
#endif
    if (bytes.empty()) continue;
    if (index++ == position) {
      result = FormatHardwareAddress(bytes);
      break;
    }
  }
  ::freeifaddrs(list);
  return result;
}

}  // namespace lg::plat
