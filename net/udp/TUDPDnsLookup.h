// One direct DNS query over UDP (RFC 1035): the update thread's way to find
// its content host when the system resolver yields nothing. The socket
// exists only inside Lookup; the reply is decoded by dns::DecodeReply.
//
// Threads: one object per query, used by one thread. The wait for the reply
// is bounded (ReceiveTimeoutMs) and ends early, within 100 ms, when the
// optional stop flag is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Socket.h"
#include "net/udp/DnsMessage.h"

namespace lg {

class TUDPDnsLookup {
 public:
  static constexpr uint16_t kDnsPort = 53;
  static constexpr int kDefaultReceiveTimeoutMs = 3000;

  TUDPDnsLookup() = default;
  ~TUDPDnsLookup();
  TUDPDnsLookup(const TUDPDnsLookup&) = delete;
  TUDPDnsLookup& operator=(const TUDPDnsLookup&) = delete;

  // Asks `server` (dotted, or a name whose first system-resolved address is
  // used) for `host` records of `qtype`. Returns dns::kLookupOk (1) when a
  // reply with the query's id arrived (`results` cleared, then one text per
  // answer of that type), -1 when the socket could not be made or bound, -2
  // when the query could not be sent (server unresolvable, host not
  // encodable, send failure), -3 when the reply was unusable: none within
  // the time-out, a receive error, fewer than 12 bytes (`results` untouched)
  // or another id (`results` cleared). The socket is closed on return.
  int Lookup(const std::string& server, const std::string& host, std::vector<std::string>& results,
             uint16_t qtype = dns::kTypeA);

  // Where the query goes (53) and how long a reply is awaited.
  void SetResolverPort(uint16_t port) { resolverPort_ = port; }
  void SetReceiveTimeoutMs(int ms) { receiveTimeoutMs_ = ms; }
  // Set by another thread to abandon the wait (result -3).
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

  uint16_t QueryId() const { return queryId_; }
  uint16_t LocalPort() const { return localPort_; }
  int ReceivedLength() const { return receivedLength_; }

 private:
  void CloseSocket();
  // 1 when a datagram is waiting, 0 on time-out or stop, -1 on error.
  int WaitForReply();

  sock::Handle socket_ = sock::kInvalid;
  uint16_t localPort_ = 0;
  int receivedLength_ = -1;
  uint16_t queryId_ = 0;
  uint8_t packet_[dns::kPacketSize] = {};
  uint16_t resolverPort_ = kDnsPort;
  int receiveTimeoutMs_ = kDefaultReceiveTimeoutMs;
  const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace lg
