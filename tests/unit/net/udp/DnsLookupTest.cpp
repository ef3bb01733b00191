// The direct resolver and the public-resolver fallback against the fake
// resolver on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "common/Platform.h"
#include "net/udp/HostResolve.h"
#include "net/udp/TUDPDnsLookup.h"
#include "tests/support/FakeDnsServer.h"
#include "tests/support/TestSupport.h"

namespace lg {
namespace {

using test::TDnsReply;
using test::TFakeDnsServer;
using Clock = std::chrono::steady_clock;
using List = std::vector<std::string>;

class DnsLookup : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dns_.Ok()); }
  int Lookup(const std::string& host, List& list, uint16_t qtype = 1) {
    TUDPDnsLookup lookup;
    lookup.SetResolverPort(dns_.Port());
    lookup.SetReceiveTimeoutMs(test::ScaledMs(300));
    int r = lookup.Lookup(dns_.Address(), host, list, qtype);
    lastId_ = lookup.QueryId();
    return r;
  }
  TFakeDnsServer dns_;
  uint16_t lastId_ = 0;
};

TEST_F(DnsLookup, SendsOneWellFormedQueryAndReadsTheAddresses) {
  dns_.SetReply(TDnsReply::Addresses({"10.0.0.1", "10.0.0.2"}));
  List list;
  EXPECT_EQ(Lookup("cdn.example.com", list), 1);
  EXPECT_EQ(list, (List{"10.0.0.1", "10.0.0.2"}));
  ASSERT_EQ(dns_.QueryCount(), 1u);
  test::TDnsQuery q = dns_.Queries()[0];
  EXPECT_EQ(q.name, "cdn.example.com");
  EXPECT_EQ(q.qtype, 1);
  EXPECT_EQ(q.qclass, 1);
  EXPECT_EQ(q.id, lastId_);
  EXPECT_LE(q.id, 32766);
  ASSERT_EQ(q.bytes.size(), 12u + 17u + 4u);
  EXPECT_EQ(q.bytes[2], 0x01);  // recursion desired
  EXPECT_EQ(q.bytes[3], 0x00);
}

TEST_F(DnsLookup, AliasThenAddresses) {
  dns_.SetReply(TDnsReply::AliasThenAddresses("edge.cdn.example", {"192.0.2.7", "192.0.2.8"}));
  List list;
  EXPECT_EQ(Lookup("www.example.com", list), 1);
  EXPECT_EQ(list, (List{"192.0.2.7", "192.0.2.8"}));
}

TEST_F(DnsLookup, ResultCodesOfUnusableReplies) {
  struct {
    const char* what;
    TDnsReply reply;
    int result;
    List after;  // the list starts as {"old"}
  } rows[] = {
      {"name error", TDnsReply::NameError(), 1, {}},
      {"wrong id", TDnsReply::WrongId(TDnsReply::Addresses({"10.0.0.1"})), -3, {}},
      {"11 bytes", TDnsReply::Truncated(TDnsReply::Addresses({"10.0.0.1"}), 11), -3, {"old"}},
      {"12 bytes", TDnsReply::Truncated(TDnsReply::Addresses({"10.0.0.1"}), 12), 1, {}},
      {"second answer cut",
       TDnsReply::Truncated(TDnsReply::Addresses({"10.0.0.1", "10.0.0.2"}), 12 + 9 + 16 + 15),
       1,
       {"10.0.0.1"}},
      {"looping owner", TDnsReply::Looping(), 1, {"10.9.9.9"}},
      {"no reply", TDnsReply::NoReply(), -3, {"old"}},
  };
  for (auto& row : rows) {
    dns_.SetReply(row.reply);
    List list = {"old"};
    EXPECT_EQ(Lookup("a.ex", list), row.result) << row.what;
    EXPECT_EQ(list, row.after) << row.what;
  }
}

TEST_F(DnsLookup, UnansweredQueryGivesUpAfterTheTimeOut) {
  dns_.SetReply(TDnsReply::NoReply());
  TUDPDnsLookup lookup;
  lookup.SetResolverPort(dns_.Port());
  lookup.SetReceiveTimeoutMs(200);
  List list;
  auto start = Clock::now();
  EXPECT_EQ(lookup.Lookup(dns_.Address(), "slow.ex", list), -3);
  auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(190));
  EXPECT_LT(took, std::chrono::milliseconds(test::ScaledMs(1500)));
  EXPECT_EQ(lookup.ReceivedLength(), -1);
}

TEST_F(DnsLookup, StopFlagCutsTheWaitShort) {
  dns_.SetReply(TDnsReply::NoReply());
  std::atomic<bool> stop{false};
  TUDPDnsLookup lookup;
  lookup.SetResolverPort(dns_.Port());
  lookup.SetReceiveTimeoutMs(60000);
  lookup.SetStopFlag(&stop);
  std::thread stopper([&] {
    dns_.WaitForQueries(1, 5000);
    stop.store(true);
  });
  List list;
  auto start = Clock::now();
  EXPECT_EQ(lookup.Lookup(dns_.Address(), "slow.ex", list), -3);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(test::ScaledMs(2000)));
  stopper.join();
}

TEST_F(DnsLookup, NamesThatCannotBeSentGiveMinusTwo) {
  List list = {"old"};
  EXPECT_EQ(Lookup("a..b", list), -2);
  EXPECT_EQ(Lookup(std::string(64, 'x') + ".com", list), -2);
  EXPECT_EQ(list, List{"old"});
  EXPECT_EQ(dns_.QueryCount(), 0u);
}

class PublicResolvers : public DnsLookup {
 protected:
  void SetUp() override {
    DnsLookup::SetUp();
    TPublicResolverSettings s;
    s.resolvers.assign(8, "127.0.0.1");
    s.port = dns_.Port();
    s.receiveTimeoutMs = test::ScaledMs(150);
    SetPublicResolverSettings(s);
  }
  void TearDown() override { ResetPublicResolverSettings(); }
};

TEST_F(PublicResolvers, StopAfterTheFirstThatAnswersWithAnAddress) {
  struct {
    const char* what;
    std::vector<TDnsReply> script;
    TDnsReply otherwise;
    size_t queries;
    List result;
  } rows[] = {
      {"first answers", {TDnsReply::Addresses({"10.1.1.1"})}, TDnsReply::NameError(), 1, {"10.1.1.1"}},
      {"third answers",
       {TDnsReply::NoReply(), TDnsReply::NameError(), TDnsReply::Addresses({"10.3.3.3", "10.3.3.4"})},
       TDnsReply::NameError(),
       3,
       {"10.3.3.3", "10.3.3.4"}},
      {"none answers", {}, TDnsReply::NameError(), 8, {}},
      {"only aliases", {}, TDnsReply::AliasThenAddresses("x.ex", {}), 8, {}},
  };
  for (auto& row : rows) {
    TFakeDnsServer fresh;  // counts from zero
    TPublicResolverSettings s = PublicResolverSettings();
    s.port = fresh.Port();
    SetPublicResolverSettings(s);
    fresh.SetReply(row.otherwise);
    fresh.ScriptReplies(row.script);
    List list = {"stale"};
    EXPECT_EQ(QueryPublicResolvers("content.example.com", list), static_cast<int>(row.result.size())) << row.what;
    EXPECT_EQ(list, row.result) << row.what;
    EXPECT_EQ(fresh.QueryCount(), row.queries) << row.what;
    for (const test::TDnsQuery& q : fresh.Queries()) EXPECT_EQ(q.name, "content.example.com");
  }
}

TEST_F(PublicResolvers, StopFlagEndsTheSearch) {
  dns_.SetReply(TDnsReply::NoReply());
  std::atomic<bool> stop{true};
  List list;
  EXPECT_EQ(QueryPublicResolvers("content.example.com", list, &stop), 0);
  EXPECT_EQ(dns_.QueryCount(), 0u);
}

TEST(PublicResolverDefaults, EightDottedResolversOnPort53) {
  TPublicResolverSettings s = DefaultPublicResolverSettings();
  ASSERT_EQ(s.resolvers.size(), 8u);
  for (const std::string& ip : s.resolvers) EXPECT_NE(sock::ParseIpv4(ip), sock::kAddrNone) << ip;
  EXPECT_EQ(s.port, 53);
  EXPECT_GT(s.receiveTimeoutMs, 0);
  EXPECT_LE(s.receiveTimeoutMs, 10000);
}

TEST(SystemResolve, DottedTextsStayAndNamesResolve) {
  List list = {"old"};
  ResolveHostList("192.0.2.1", list);
  EXPECT_EQ(list, List{"192.0.2.1"});
  EXPECT_EQ(ResolveHostFirst("192.0.2.1"), "192.0.2.1");
  ResolveHostList("localhost", list);
  ASSERT_FALSE(list.empty());
  EXPECT_NE(std::find(list.begin(), list.end(), "127.0.0.1"), list.end());
  EXPECT_EQ(ResolveHostFirst("localhost"), list.front());
}

}  // namespace
}  // namespace lg
