#include "tests/support/FakeDnsServer.h"

#include <chrono>

#include "common/Platform.h"

namespace lg::test {
namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v >> 16));
  PutU16(out, static_cast<uint16_t>(v));
}

}  // namespace

std::vector<uint8_t> AddressData(const std::string& dotted) {
  uint32_t ip = sock::ParseIpv4(dotted);  // network order: bytes in memory order
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&ip);
  return {p[0], p[1], p[2], p[3]};
}

std::vector<uint8_t> NameData(const std::string& dotted) {
  std::vector<uint8_t> out;
  size_t start = 0;
  while (start < dotted.size()) {
    size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    out.push_back(static_cast<uint8_t>(dot - start));
    out.insert(out.end(), dotted.begin() + static_cast<std::ptrdiff_t>(start),
               dotted.begin() + static_cast<std::ptrdiff_t>(dot));
    start = dot + 1;
  }
  out.push_back(0);
  return out;
}

TDnsRecord TDnsRecord::Address(const std::string& dotted) {
  TDnsRecord r;
  r.type = 1;
  r.data = AddressData(dotted);
  return r;
}

TDnsRecord TDnsRecord::Alias(const std::string& target) {
  TDnsRecord r;
  r.type = 5;
  r.data = NameData(target);
  return r;
}

TDnsReply TDnsReply::Addresses(std::initializer_list<std::string> ips) {
  TDnsReply r;
  for (const std::string& ip : ips) r.answers.push_back(TDnsRecord::Address(ip));
  return r;
}

TDnsReply TDnsReply::AliasThenAddresses(const std::string& alias, std::initializer_list<std::string> ips) {
  TDnsReply r;
  r.answers.push_back(TDnsRecord::Alias(alias));
  for (const std::string& ip : ips) {
    TDnsRecord a = TDnsRecord::Address(ip);
    a.owner = alias;
    r.answers.push_back(a);
  }
  return r;
}

TDnsReply TDnsReply::NameError() {
  TDnsReply r;
  r.rcode = 3;
  return r;
}

TDnsReply TDnsReply::NoReply() {
  TDnsReply r;
  r.send = false;
  return r;
}

TDnsReply TDnsReply::WrongId(TDnsReply reply) {
  reply.idDelta = 1;
  return reply;
}

TDnsReply TDnsReply::Truncated(TDnsReply reply, size_t bytes) {
  reply.truncateTo = bytes;
  return reply;
}

TDnsReply TDnsReply::Looping() {
  TDnsReply r;
  TDnsRecord a = TDnsRecord::Address("10.9.9.9");
  a.ownerLoops = true;
  r.answers.push_back(a);
  return r;
}

TDnsReply TDnsReply::Raw(std::vector<uint8_t> bytes, bool keepId) {
  TDnsReply r;
  r.raw = std::move(bytes);
  r.rawKeepsId = keepId;
  return r;
}

bool TFakeDnsServer::ParseQuery(const uint8_t* data, size_t size, TDnsQuery& query) {
  if (size < 12) return false;
  query = TDnsQuery{};
  query.bytes.assign(data, data + size);
  query.id = static_cast<uint16_t>((data[0] << 8) | data[1]);
  size_t pos = 12;
  for (;;) {
    if (pos >= size) return false;
    uint8_t len = data[pos++];
    if (len == 0) break;
    if (len > 63 || pos + len > size) return false;
    if (!query.name.empty()) query.name += '.';
    query.name.append(reinterpret_cast<const char*>(data + pos), len);
    pos += len;
  }
  if (pos + 4 > size) return false;
  query.qtype = static_cast<uint16_t>((data[pos] << 8) | data[pos + 1]);
  query.qclass = static_cast<uint16_t>((data[pos + 2] << 8) | data[pos + 3]);
  return true;
}

std::vector<uint8_t> TFakeDnsServer::BuildReply(const TDnsQuery& query, const TDnsReply& reply) {
  std::vector<uint8_t> out;
  if (!reply.send) return out;
  uint16_t id = static_cast<uint16_t>(query.id + reply.idDelta);
  if (!reply.raw.empty()) {
    out = reply.raw;
    if (!reply.rawKeepsId && out.size() >= 2) {
      out[0] = static_cast<uint8_t>(id >> 8);
      out[1] = static_cast<uint8_t>(id);
    }
  } else {
    PutU16(out, id);
    PutU16(out, static_cast<uint16_t>(0x8180 | (reply.rcode & 0x0F)));  // response, RD, RA
    PutU16(out, 1);
    PutU16(out, static_cast<uint16_t>(reply.answers.size()));
    PutU16(out, 0);
    PutU16(out, 0);
    // The question as asked.
    if (query.bytes.size() > 12) out.insert(out.end(), query.bytes.begin() + 12, query.bytes.end());
    for (const TDnsRecord& r : reply.answers) {
      if (r.ownerLoops) {
        uint16_t self = static_cast<uint16_t>(0xC000 | out.size());
        PutU16(out, self);
      } else if (r.owner.empty()) {
        PutU16(out, 0xC00C);
      } else {
        std::vector<uint8_t> owner = NameData(r.owner);
        out.insert(out.end(), owner.begin(), owner.end());
      }
      PutU16(out, r.type);
      PutU16(out, r.rrclass);
      PutU32(out, r.ttl);
      PutU16(out, static_cast<uint16_t>(r.data.size()));
      out.insert(out.end(), r.data.begin(), r.data.end());
    }
  }
  if (out.size() > reply.truncateTo) out.resize(reply.truncateTo);
  return out;
}

TFakeDnsServer::TFakeDnsServer() {
  socket_ = sock::Open(sock::Kind::Datagram);
  if (socket_ == sock::kInvalid) return;
  if (sock::Bind(socket_, sock::ParseIpv4("127.0.0.1"), 0) != 0) return;
  port_ = sock::LocalPort(socket_);
  thread_ = std::thread([this] { Run(); });
}

TFakeDnsServer::~TFakeDnsServer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (socket_ != sock::kInvalid) sock::Close(socket_);
}

void TFakeDnsServer::SetReply(const TDnsReply& reply) {
  std::lock_guard<std::mutex> guard(lock_);
  reply_ = reply;
}

void TFakeDnsServer::SetHandler(THandler handler) {
  std::lock_guard<std::mutex> guard(lock_);
  handler_ = std::move(handler);
}

void TFakeDnsServer::ScriptReplies(std::vector<TDnsReply> replies) {
  std::lock_guard<std::mutex> guard(lock_);
  script_.assign(replies.begin(), replies.end());
}

std::vector<TDnsQuery> TFakeDnsServer::Queries() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queries_;
}

size_t TFakeDnsServer::QueryCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queries_.size();
}

bool TFakeDnsServer::WaitForQueries(size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> guard(lock_);
  return arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return queries_.size() >= count; });
}

TDnsReply TFakeDnsServer::Choose(const TDnsQuery& query) {
  THandler handler;
  {
    std::lock_guard<std::mutex> guard(lock_);
    queries_.push_back(query);
    arrived_.notify_all();
    if (!script_.empty()) {
      TDnsReply r = script_.front();
      script_.pop_front();
      return r;
    }
    if (!handler_) return reply_;
    handler = handler_;
  }
  return handler(query);
}

void TFakeDnsServer::Run() {
  uint8_t buffer[1500];
  while (!stop_.load()) {
    if (sock::Select(socket_, sock::Wait::Read, 50) != 1) continue;
    uint32_t ip = 0;
    uint16_t port = 0;
    int n = sock::RecvFrom(socket_, buffer, sizeof buffer, &ip, &port);
    TDnsQuery query;
    if (n <= 0 || !ParseQuery(buffer, static_cast<size_t>(n), query)) continue;
    TDnsReply reply = Choose(query);
    std::vector<uint8_t> bytes = BuildReply(query, reply);
    if (bytes.empty()) continue;
    for (int waited = 0; waited < reply.delayMs && !stop_.load(); waited += 10) plat::SleepMs(10);
    sock::SendTo(socket_, bytes.data(), static_cast<int>(bytes.size()), ip, port);
  }
}

}  // namespace lg::test
