// Thin portable socket calls for the core's TCP and UDP code (part of the
// platform layer). The calls mirror Windows Sockets: results are the system
// call's own (-1 for SOCKET_ERROR), and error codes are always the Windows
// Sockets numbers, also on POSIX where errno is translated, so a time-out is
// 10060 and a would-block 10035 on every platform.
//
// Thread safety: plain system calls; a handle may be closed from another
// thread to make a blocked call return.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lg::sock {

using Handle = std::intptr_t;
inline constexpr Handle kInvalid = -1;
inline constexpr int kSocketError = -1;

// Windows Sockets error numbers used by name in the core.
inline constexpr int kWouldBlock = 10035;    // WSAEWOULDBLOCK
inline constexpr int kInProgress = 10036;    // WSAEINPROGRESS
inline constexpr int kNotSocket = 10038;     // WSAENOTSOCK
inline constexpr int kMessageSize = 10040;   // WSAEMSGSIZE
inline constexpr int kConnReset = 10054;     // WSAECONNRESET
inline constexpr int kNotConnected = 10057;  // WSAENOTCONN
inline constexpr int kTimedOut = 10060;      // WSAETIMEDOUT
inline constexpr int kConnRefused = 10061;   // WSAECONNREFUSED
inline constexpr int kHostUnreach = 10065;   // WSAEHOSTUNREACH

// Once per process: 0 on success, else the system's error code.
int LibraryStartup();
int LibraryCleanup();

// The calling thread's last socket error as a Windows Sockets code.
int LastError();
// Maps a POSIX errno to its Windows Sockets code (identity on Windows).
int TranslateError(int systemError);
// "code: message", with trailing blanks, control characters and full stops
// of the system's message removed.
std::string ErrorText(int code);
// The platform's own message for a Windows Sockets code ("Socket error N"
// when it has none), untrimmed: the platform half of ErrorText.
std::string SystemErrorMessage(int code);

enum class Kind { Stream, Datagram };
Handle Open(Kind kind);
int Close(Handle h);
int ShutdownBoth(Handle h);
int SetNonBlocking(Handle h, bool on);
int SetTimeouts(Handle h, int sendMs, int recvMs);
int SetBroadcast(Handle h, bool on);
int SetReceiveBufferSize(Handle h, int bytes);

// Addresses are IPv4 in network byte order.
int Connect(Handle h, uint32_t ip, uint16_t port);
int Bind(Handle h, uint32_t ip, uint16_t port);
// Server side, used by the in-process test peers: Listen puts a bound
// stream socket into the listening state; Accept returns the new connection
// (kInvalid on failure) and, when asked, the peer's address.
int Listen(Handle h, int backlog);
Handle Accept(Handle h, uint32_t* ip, uint16_t* port);
// The locally bound port (host order), 0 on failure.
uint16_t LocalPort(Handle h);
// After a non-blocking connect reported ready: 0 when it succeeded, else
// the Windows Sockets code of its failure.
int PendingConnectError(Handle h);

enum class Wait { Read, Write };
// select() on one handle: 1 ready, 0 time-out, -1 error. A negative
// time-out waits without limit. A Write wait also returns 1 when a
// non-blocking connect failed (Windows reports that in the except set).
int Select(Handle h, Wait what, int timeoutMs);

int Send(Handle h, const void* data, int size);
int Recv(Handle h, void* data, int size);
// Receives only what has already arrived, never waiting: the bytes, 0 when
// the peer closed, -1 with kWouldBlock when nothing is waiting yet (Windows
// may also report a close that way; the wait that follows then sees it).
int RecvReady(Handle h, void* data, int size);
int SendTo(Handle h, const void* data, int size, uint32_t ip, uint16_t port);
int RecvFrom(Handle h, void* data, int size, uint32_t* ip, uint16_t* port);

// inet_addr: 0xFFFFFFFF (INADDR_NONE) when the text is not a dotted address.
uint32_t ParseIpv4(const std::string& text);
std::string FormatIpv4(uint32_t ip);
// The system resolver's IPv4 addresses for a name (empty when none).
std::vector<uint32_t> ResolveIpv4(const std::string& host);

inline constexpr uint32_t kAddrNone = 0xFFFFFFFFu;

}  // namespace lg::sock
