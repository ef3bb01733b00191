// The portable half of the socket calls: texts and address formatting that
// need no system call. The system calls are in Socket_posix.cpp and
// Socket_win.cpp; name resolution stays there too, as the resolver's
// declarations come from each platform's own headers.
#include "common/Socket.h"

namespace lg::sock {

std::string ErrorText(int code) {
  std::string message = SystemErrorMessage(code);
  // FormatMessage ends its texts with ".\r\n"; the POSIX table has none.
  while (!message.empty() && (static_cast<unsigned char>(message.back()) <= ' ' || message.back() == '.'))
    message.pop_back();
  return std::to_string(code) + ":" + message;
}

std::string FormatIpv4(uint32_t ip) {
  // Network byte order: the first octet is the first byte in memory.
  const auto* b = reinterpret_cast<const unsigned char*>(&ip);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace lg::sock
