// Windows side of the adapter query: GetAdaptersInfo from iphlpapi.dll,
// loaded at run time. The library and the buffer are released on every path.
#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>

#include <vector>

#include "common/AdapterInfo.h"

namespace lg::plat {

std::string AdapterHardwareAddressText(int position) {
  using GetAdaptersInfoFn = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
  if (position < 0) return std::string();
  HMODULE library = ::LoadLibraryA("iphlpapi.dll");
  if (!library) return std::string();
  std::string result;
  auto query =
      reinterpret_cast<GetAdaptersInfoFn>(reinterpret_cast<void*>(::GetProcAddress(library, "GetAdaptersInfo")));
  if (query) {
    ULONG size = 640;
    std::vector<unsigned char> buffer(size);
    DWORD rc = query(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
    if (rc == ERROR_BUFFER_OVERFLOW) {
      buffer.assign(size, 0);
      rc = query(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
    }
    if (rc == NO_ERROR) {
      auto* adapter = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data());
      for (int i = 0; adapter && i < position; ++i) adapter = adapter->Next;
      if (adapter) {
        const UINT length =
            adapter->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? adapter->AddressLength : MAX_ADAPTER_ADDRESS_LENGTH;
        result = FormatHardwareAddress(std::vector<uint8_t>(adapter->Address, adapter->Address + length));
      }
    }
  }
  ::FreeLibrary(library);
  return result;
}

}  // namespace lg::plat
