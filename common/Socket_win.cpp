// Windows Sockets side of the socket calls.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/Socket.h"

namespace lg::sock {
namespace {

int Check(int result) {
  return result == SOCKET_ERROR ? kSocketError : result;
}

SOCKET S(Handle h) {
  return static_cast<SOCKET>(h);
}

sockaddr_in MakeAddress(uint32_t ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = ip;
  return a;
}

}  // namespace

int LibraryStartup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

int LibraryCleanup() {
  return WSACleanup();
}

int LastError() {
  return WSAGetLastError();
}

int TranslateError(int systemError) {
  return systemError;
}

std::string SystemErrorMessage(int code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string message = n && buffer ? std::string(buffer, n) : "Socket error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  return message;
}

Handle Open(Kind kind) {
  SOCKET s = ::socket(AF_INET, kind == Kind::Stream ? SOCK_STREAM : SOCK_DGRAM,
                      kind == Kind::Stream ? IPPROTO_TCP : IPPROTO_UDP);
  if (s == INVALID_SOCKET) return kInvalid;
  WSASetLastError(0);
  return static_cast<Handle>(s);
}

int Close(Handle h) {
  return Check(::closesocket(S(h)));
}

int ShutdownBoth(Handle h) {
  return Check(::shutdown(S(h), SD_BOTH));
}

int SetNonBlocking(Handle h, bool on) {
  u_long v = on ? 1 : 0;
  return Check(::ioctlsocket(S(h), FIONBIO, &v));
}

int SetTimeouts(Handle h, int sendMs, int recvMs) {
  DWORD s = static_cast<DWORD>(sendMs), r = static_cast<DWORD>(recvMs);
  if (Check(::setsockopt(S(h), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&s), sizeof s)) < 0)
    return kSocketError;
  return Check(::setsockopt(S(h), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&r), sizeof r));
}

int SetBroadcast(Handle h, bool on) {
  BOOL v = on ? TRUE : FALSE;
  return Check(::setsockopt(S(h), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&v), sizeof v));
}

int SetReceiveBufferSize(Handle h, int bytes) {
  return Check(::setsockopt(S(h), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes));
}

int Connect(Handle h, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeAddress(ip, port);
  return Check(::connect(S(h), reinterpret_cast<sockaddr*>(&a), sizeof a));
}

int Bind(Handle h, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeAddress(ip, port);
  return Check(::bind(S(h), reinterpret_cast<sockaddr*>(&a), sizeof a));
}

int Listen(Handle h, int backlog) {
  return Check(::listen(S(h), backlog));
}

Handle Accept(Handle h, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  int len = sizeof a;
  SOCKET s = ::accept(S(h), reinterpret_cast<sockaddr*>(&a), &len);
  if (s == INVALID_SOCKET) return kInvalid;
  WSASetLastError(0);
  if (ip) *ip = a.sin_addr.s_addr;
  if (port) *port = ntohs(a.sin_port);
  return static_cast<Handle>(s);
}

uint16_t LocalPort(Handle h) {
  sockaddr_in a{};
  int len = sizeof a;
  if (::getsockname(S(h), reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR) return 0;
  return ntohs(a.sin_port);
}

int PendingConnectError(Handle h) {
  int err = 0;
  int len = sizeof err;
  if (::getsockopt(S(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == SOCKET_ERROR)
    return WSAGetLastError();
  return err;
}

int Select(Handle h, Wait what, int timeoutMs) {
  fd_set set, except;
  FD_ZERO(&set);
  FD_ZERO(&except);
  FD_SET(S(h), &set);
  FD_SET(S(h), &except);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  // A failed non-blocking connect shows in the except set only.
  int r = ::select(0, what == Wait::Read ? &set : nullptr, what == Wait::Write ? &set : nullptr,
                   what == Wait::Write ? &except : nullptr, timeoutMs < 0 ? nullptr : &tv);
  if (r == SOCKET_ERROR) return kSocketError;
  WSASetLastError(0);
  return r > 0 ? 1 : 0;
}

int Send(Handle h, const void* data, int size) {
  return Check(::send(S(h), static_cast<const char*>(data), size, 0));
}

int Recv(Handle h, void* data, int size) {
  return Check(::recv(S(h), static_cast<char*>(data), size, 0));
}

// A blocking socket has no per-call "do not wait" flag here: ask how much
// is waiting and take no more than that.
int RecvReady(Handle h, void* data, int size) {
  u_long waiting = 0;
  if (::ioctlsocket(S(h), FIONREAD, &waiting) == SOCKET_ERROR) return kSocketError;
  if (waiting == 0) {
    WSASetLastError(WSAEWOULDBLOCK);
    return kSocketError;
  }
  const int n = waiting < static_cast<u_long>(size) ? static_cast<int>(waiting) : size;
  return Check(::recv(S(h), static_cast<char*>(data), n, 0));
}

int SendTo(Handle h, const void* data, int size, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeAddress(ip, port);
  return Check(::sendto(S(h), static_cast<const char*>(data), size, 0, reinterpret_cast<sockaddr*>(&a), sizeof a));
}

int RecvFrom(Handle h, void* data, int size, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  int len = sizeof a;
  int r = Check(::recvfrom(S(h), static_cast<char*>(data), size, 0, reinterpret_cast<sockaddr*>(&a), &len));
  if (r >= 0) {
    if (ip) *ip = a.sin_addr.s_addr;
    if (port) *port = ntohs(a.sin_port);
  }
  return r;
}

uint32_t ParseIpv4(const std::string& text) {
  return ::inet_addr(text.c_str());
}

std::vector<uint32_t> ResolveIpv4(const std::string& host) {
  std::vector<uint32_t> out;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return out;
  for (addrinfo* it = list; it; it = it->ai_next)
    out.push_back(reinterpret_cast<sockaddr_in*>(it->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(list);
  return out;
}

}  // namespace lg::sock
