// A scriptable DNS resolver for tests: UDP on 127.0.0.1, port chosen by the
// system, one thread answering queries as the test says.
//
// Use:
//   lg::test::TFakeDnsServer dns;                    // answers NXDOMAIN by default
//   dns.SetReply(TDnsReply::Addresses({"10.0.0.1", "10.0.0.2"}));
//   ... point the code under test at dns.Address() and dns.Port() ...
//   EXPECT_EQ(dns.QueryCount(), 1u);
//   EXPECT_EQ(dns.Queries()[0].name, "cdn.example.com");
//
// Replies, per query (first match wins):
//   1. the scripted replies (ScriptReplies), one per query in order;
//   2. the handler (SetHandler), given the decoded query;
//   3. the fixed reply (SetReply), NXDOMAIN until set.
// A reply can be: addresses, an alias before addresses, RCODE 3, no reply at
// all, a wrong id, cut to a number of bytes, an answer whose owner name is a
// compression pointer to itself (a loop), or raw bytes; plus a delay.
//
// Threads: every method may be called from any thread while the server runs;
// the handler runs on the server's thread. The destructor stops the thread
// within about 50 ms (plus a pending reply delay).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Socket.h"

namespace lg::test {

// One query as the fake received it.
struct TDnsQuery {
  uint16_t id = 0;
  std::string name;  // dotted, without a trailing dot; "" for the root
  uint16_t qtype = 0;
  uint16_t qclass = 0;
  std::vector<uint8_t> bytes;  // the whole datagram
};

// One answer record.
struct TDnsRecord {
  std::string owner;  // empty: a compression pointer to the question name (offset 12)
  uint16_t type = 1;
  uint16_t rrclass = 1;
  uint32_t ttl = 300;
  std::vector<uint8_t> data;  // RDATA, sent as is
  // The owner is a compression pointer to its own offset: a pointer loop.
  bool ownerLoops = false;

  static TDnsRecord Address(const std::string& dotted);
  static TDnsRecord Alias(const std::string& target);  // CNAME (type 5)
};

// RDATA helpers.
std::vector<uint8_t> AddressData(const std::string& dotted);
std::vector<uint8_t> NameData(const std::string& dotted);  // uncompressed labels

// What to do with one query.
struct TDnsReply {
  bool send = true;  // false: no reply
  uint16_t rcode = 0;
  int idDelta = 0;  // added to the query id: a reply to another query
  std::vector<TDnsRecord> answers;
  size_t truncateTo = SIZE_MAX;  // send only this many bytes of the reply
  std::vector<uint8_t> raw;      // not empty: sent instead of a built reply
  bool rawKeepsId = false;       // raw: false patches bytes 0-1 with the query id (+idDelta)
  int delayMs = 0;               // wait before replying

  static TDnsReply Addresses(std::initializer_list<std::string> ips);
  static TDnsReply AliasThenAddresses(const std::string& alias, std::initializer_list<std::string> ips);
  static TDnsReply NameError();  // RCODE 3, no answers
  static TDnsReply NoReply();
  static TDnsReply WrongId(TDnsReply reply);
  static TDnsReply Truncated(TDnsReply reply, size_t bytes);
  static TDnsReply Looping();  // one A answer whose owner name loops
  static TDnsReply Raw(std::vector<uint8_t> bytes, bool keepId = false);
};

class TFakeDnsServer {
 public:
  using THandler = std::function<TDnsReply(const TDnsQuery&)>;

  TFakeDnsServer();
  ~TFakeDnsServer();
  TFakeDnsServer(const TFakeDnsServer&) = delete;
  TFakeDnsServer& operator=(const TFakeDnsServer&) = delete;

  std::string Address() const { return "127.0.0.1"; }
  uint16_t Port() const { return port_; }
  bool Ok() const { return socket_ != sock::kInvalid && port_ != 0; }

  void SetReply(const TDnsReply& reply);
  void SetHandler(THandler handler);
  void ScriptReplies(std::vector<TDnsReply> replies);

  std::vector<TDnsQuery> Queries() const;
  size_t QueryCount() const;
  // True once at least `count` queries arrived within `timeoutMs`.
  bool WaitForQueries(size_t count, int timeoutMs) const;

  // The datagram a reply sends for a query (empty when `send` is false).
  static std::vector<uint8_t> BuildReply(const TDnsQuery& query, const TDnsReply& reply);
  // Decodes a query datagram; false when it is not one.
  static bool ParseQuery(const uint8_t* data, size_t size, TDnsQuery& query);

 private:
  void Run();
  TDnsReply Choose(const TDnsQuery& query);

  sock::Handle socket_ = sock::kInvalid;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  mutable std::condition_variable arrived_;
  std::deque<TDnsReply> script_;
  THandler handler_;
  TDnsReply reply_ = TDnsReply::NameError();
  std::vector<TDnsQuery> queries_;
  std::thread thread_;
};

}  // namespace lg::test
