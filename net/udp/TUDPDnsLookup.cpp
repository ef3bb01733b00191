#include "net/udp/TUDPDnsLookup.h"

#include <cstring>
#include <mutex>
#include <random>

#include "common/Platform.h"

namespace lg {
namespace {

constexpr int kWaitSliceMs = 100;

// The query id, 0..32766, from one generator for the whole process.
uint16_t NextQueryId() {
  static std::mutex lock;
  static std::mt19937 random{std::random_device{}()};
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 32766)(random));
}

}  // namespace

TUDPDnsLookup::~TUDPDnsLookup() {
  CloseSocket();
}

void TUDPDnsLookup::CloseSocket() {
  if (socket_ != sock::kInvalid) sock::Close(socket_);
  socket_ = sock::kInvalid;
}

int TUDPDnsLookup::WaitForReply() {
  uint32_t start = plat::TickCount();
  for (;;) {
    if (stop_ && stop_->load()) return 0;
    uint32_t elapsed = plat::TickCount() - start;
    if (receiveTimeoutMs_ >= 0 && elapsed >= static_cast<uint32_t>(receiveTimeoutMs_)) return 0;
    int slice = kWaitSliceMs;
    if (receiveTimeoutMs_ >= 0 && static_cast<uint32_t>(receiveTimeoutMs_) - elapsed < static_cast<uint32_t>(slice))
      slice = static_cast<int>(static_cast<uint32_t>(receiveTimeoutMs_) - elapsed);
    int ready = sock::Select(socket_, sock::Wait::Read, slice);
    if (ready != 0) return ready > 0 ? 1 : -1;
  }
}

int TUDPDnsLookup::Lookup(const std::string& server, const std::string& host, std::vector<std::string>& results,
                          uint16_t qtype) {
  CloseSocket();
  receivedLength_ = -1;
  socket_ = sock::Open(sock::Kind::Datagram);
  if (socket_ == sock::kInvalid) return dns::kLookupSocketFailed;
  if (sock::Bind(socket_, 0, 0) != 0 || (localPort_ = sock::LocalPort(socket_)) == 0) {
    CloseSocket();
    return dns::kLookupSocketFailed;
  }

  queryId_ = NextQueryId();
  std::vector<uint8_t> query;
  if (!dns::EncodeQuery(queryId_, host, qtype, query) || query.size() > sizeof packet_) {
    CloseSocket();
    return dns::kLookupSendFailed;
  }
  std::memcpy(packet_, query.data(), query.size());

  uint32_t ip = sock::ParseIpv4(server);
  if (ip == sock::kAddrNone) {
    std::vector<uint32_t> list = sock::ResolveIpv4(server);
    if (list.empty()) {
      CloseSocket();
      return dns::kLookupSendFailed;
    }
    ip = list.front();
  }
  if (sock::SendTo(socket_, packet_, static_cast<int>(query.size()), ip, resolverPort_) < 0) {
    CloseSocket();
    return dns::kLookupSendFailed;
  }

  // Unlike a plain blocking read, an unanswered query (a resolver that is
  // unreachable or filtered) gives up after the time-out.
  if (WaitForReply() != 1) {
    CloseSocket();
    return dns::kLookupBadReply;
  }
  receivedLength_ = sock::RecvFrom(socket_, packet_, sizeof packet_, nullptr, nullptr);
  CloseSocket();
  if (receivedLength_ < 0) return dns::kLookupBadReply;
  return dns::DecodeReply(packet_, static_cast<size_t>(receivedLength_), queryId_, qtype, results);
}

}  // namespace lg
