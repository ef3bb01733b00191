// POSIX side of the socket calls: errno is translated to Windows Sockets
// codes here and nowhere else.
#include "common/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lg::sock {
namespace {

thread_local int tlsLastError = 0;

int Check(int result) {
  tlsLastError = result < 0 ? TranslateError(errno) : 0;
  return result < 0 ? kSocketError : result;
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
  return 0;
}
int LibraryCleanup() {
  return 0;
}

int LastError() {
  return tlsLastError;
}

int TranslateError(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK: return kWouldBlock;
    case EINPROGRESS: return kInProgress;
    case EALREADY: return 10037;
    case ENOTSOCK: return kNotSocket;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return kMessageSize;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case EPIPE:
    case ECONNRESET: return kConnReset;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return kNotConnected;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return kTimedOut;
    case ECONNREFUSED: return kConnRefused;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return kHostUnreach;
    default: return 10000 + (e > 0 && e < 1000 ? e : 0);
  }
}

namespace {
// POSIX texts for the codes that do not come from errno directly.
const char* WindowsOnlyText(int code) {
  switch (code) {
    case kWouldBlock: return "Resource temporarily unavailable";
    case kInProgress: return "Operation now in progress";
    case kTimedOut: return "Connection timed out";
    case kConnRefused: return "Connection refused";
    case kConnReset: return "Connection reset by peer";
    case kNotConnected: return "Transport endpoint is not connected";
    case kNotSocket: return "Socket operation on non-socket";
    case kMessageSize: return "Message too long";
    case kHostUnreach: return "No route to host";
    default: return nullptr;
  }
}
}  // namespace

std::string SystemErrorMessage(int code) {
  const char* text = WindowsOnlyText(code);
  return text ? text : ("Socket error " + std::to_string(code));
}

Handle Open(Kind kind) {
  int fd = ::socket(AF_INET, kind == Kind::Stream ? SOCK_STREAM : SOCK_DGRAM,
                    kind == Kind::Stream ? IPPROTO_TCP : IPPROTO_UDP);
  if (fd < 0) {
    Check(-1);
    return kInvalid;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#ifdef SO_NOSIGPIPE
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  tlsLastError = 0;
  return fd;
}

int Close(Handle h) {
  return Check(::close(static_cast<int>(h)));
}

int ShutdownBoth(Handle h) {
  return Check(::shutdown(static_cast<int>(h), SHUT_RDWR));
}

int SetNonBlocking(Handle h, bool on) {
  int fd = static_cast<int>(h);
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return Check(-1);
  return Check(::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK));
}

int SetTimeouts(Handle h, int sendMs, int recvMs) {
  timeval s{sendMs / 1000, (sendMs % 1000) * 1000};
  timeval r{recvMs / 1000, (recvMs % 1000) * 1000};
  int fd = static_cast<int>(h);
  if (Check(::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &s, sizeof s)) < 0) return kSocketError;
  return Check(::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r));
}

int SetBroadcast(Handle h, bool on) {
  int v = on ? 1 : 0;
  return Check(::setsockopt(static_cast<int>(h), SOL_SOCKET, SO_BROADCAST, &v, sizeof v));
}

int SetReceiveBufferSize(Handle h, int bytes) {
  return Check(::setsockopt(static_cast<int>(h), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes));
}

int Connect(Handle h, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeAddress(ip, port);
  return Check(::connect(static_cast<int>(h), reinterpret_cast<sockaddr*>(&a), sizeof a));
}

int Bind(Handle h, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeAddress(ip, port);
  return Check(::bind(static_cast<int>(h), reinterpret_cast<sockaddr*>(&a), sizeof a));
}

int Listen(Handle h, int backlog) {
  return Check(::listen(static_cast<int>(h), backlog));
}

Handle Accept(Handle h, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  int fd;
  do {
    fd = ::accept(static_cast<int>(h), reinterpret_cast<sockaddr*>(&a), &len);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Check(-1);
    return kInvalid;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  tlsLastError = 0;
  if (ip) *ip = a.sin_addr.s_addr;
  if (port) *port = ntohs(a.sin_port);
  return fd;
}

uint16_t LocalPort(Handle h) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (Check(::getsockname(static_cast<int>(h), reinterpret_cast<sockaddr*>(&a), &len)) < 0) return 0;
  return ntohs(a.sin_port);
}

int PendingConnectError(Handle h) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(static_cast<int>(h), SOL_SOCKET, SO_ERROR, &err, &len) < 0) return TranslateError(errno);
  return TranslateError(err);
}

int Select(Handle h, Wait what, int timeoutMs) {
  pollfd p{static_cast<int>(h), static_cast<short>(what == Wait::Read ? POLLIN : POLLOUT), 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return Check(-1);
  tlsLastError = 0;
  if (r > 0 && (p.revents & POLLNVAL)) {
    tlsLastError = kNotSocket;
    return kSocketError;
  }
  return r;
}

int Send(Handle h, const void* data, int size) {
  return Check(static_cast<int>(::send(static_cast<int>(h), data, size, MSG_NOSIGNAL)));
}

int Recv(Handle h, void* data, int size) {
  return Check(static_cast<int>(::recv(static_cast<int>(h), data, size, 0)));
}

int RecvReady(Handle h, void* data, int size) {
  return Check(static_cast<int>(::recv(static_cast<int>(h), data, size, MSG_DONTWAIT)));
}

int SendTo(Handle h, const void* data, int size, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeAddress(ip, port);
  return Check(static_cast<int>(
      ::sendto(static_cast<int>(h), data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a)));
}

int RecvFrom(Handle h, void* data, int size, uint32_t* ip, uint16_t* port) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  int r =
      Check(static_cast<int>(::recvfrom(static_cast<int>(h), data, size, 0, reinterpret_cast<sockaddr*>(&a), &len)));
  if (r >= 0) {
    if (ip) *ip = a.sin_addr.s_addr;
    if (port) *port = ntohs(a.sin_port);
  }
  return r;
}

uint32_t ParseIpv4(const std::string& text) {
  in_addr a{};
  if (::inet_aton(text.c_str(), &a) == 0) return kAddrNone;
  return a.s_addr;
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
