// Query encoding and reply decoding, as pure functions of bytes.
#include "net/udp/DnsMessage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lg::dns {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Header of a reply to query 0x1234 with `qd` questions and `an` answers.
Bytes Header(uint16_t flags, uint16_t qd, uint16_t an, uint16_t id = 0x1234) {
  return {
      uint8_t(id >> 8), uint8_t(id), uint8_t(flags >> 8), uint8_t(flags), 0, uint8_t(qd), 0, uint8_t(an), 0, 0, 0, 0};
}

const Bytes kQuestion = {3, 'w', 'w', 'w', 2, 'e', 'x', 0, 0, 1, 0, 1};  // "www.ex" A IN

Bytes Record(const Bytes& owner, uint16_t type, const Bytes& data) {
  return Concat(
      {owner,
       {uint8_t(type >> 8), uint8_t(type), 0, 1, 0, 0, 0, 60, uint8_t(data.size() >> 8), uint8_t(data.size())},
       data});
}

const Bytes kToQuestion = {0xC0, 12};  // pointer to the question's name

TEST(DnsQuery, EncodesNamesAsLabels) {
  struct {
    const char* name;
    Bytes qname;
  } rows[] = {
      {"a.bc", {1, 'a', 2, 'b', 'c', 0}},
      {"a.bc.", {1, 'a', 2, 'b', 'c', 0}},
      {"", {0}},
      {".", {0}},
      {"localhost", {9, 'l', 'o', 'c', 'a', 'l', 'h', 'o', 's', 't', 0}},
  };
  for (const auto& row : rows) {
    Bytes q;
    ASSERT_TRUE(EncodeQuery(0x4142, row.name, 1, q)) << row.name;
    Bytes want = Concat({{0x41, 0x42, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0}, row.qname, {0, 1, 0, 1}});
    EXPECT_EQ(q, want) << row.name;
  }
  Bytes q;
  ASSERT_TRUE(EncodeQuery(7, "x", 28, q));
  EXPECT_EQ(q[q.size() - 3], 28);  // QTYPE in network order
}

TEST(DnsQuery, RefusesNamesThatWouldBeMalformed) {
  Bytes q = {1, 2, 3};
  for (const std::string& name : {std::string("a..b"), std::string(".a"), std::string(64, 'x'), std::string("a.b..")})
    EXPECT_FALSE(EncodeQuery(1, name, 1, q)) << name;
  EXPECT_TRUE(q.empty());
  std::string label(63, 'x');
  EXPECT_TRUE(EncodeQuery(1, label, 1, q));
  // 4 labels of 63: 4 * 64 + 1 = 257 bytes, above the 255 allowed.
  EXPECT_FALSE(EncodeQuery(1, label + "." + label + "." + label + "." + label, 1, q));
  EXPECT_TRUE(EncodeQuery(1, label + "." + label + "." + label + "." + std::string(61, 'y'), 1, q));
}

TEST(DnsReply, ShortReplyLeavesTheListAlone) {
  std::vector<std::string> list = {"earlier"};
  Bytes reply = Header(0x8180, 1, 0);
  reply.pop_back();
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 1, list), kLookupBadReply);
  EXPECT_EQ(list, std::vector<std::string>{"earlier"});
}

TEST(DnsReply, OtherIdClearsTheListAndFails) {
  std::vector<std::string> list = {"earlier"};
  Bytes reply = Concat({Header(0x8180, 1, 1, 0x1235), kQuestion, Record(kToQuestion, 1, {1, 2, 3, 4})});
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 1, list), kLookupBadReply);
  EXPECT_TRUE(list.empty());
}

TEST(DnsReply, NameErrorGivesOkWithNothing) {
  std::vector<std::string> list = {"earlier"};
  Bytes reply = Concat({Header(0x8183, 1, 1), kQuestion, Record(kToQuestion, 1, {1, 2, 3, 4})});
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 1, list), kLookupOk);
  EXPECT_TRUE(list.empty());
}

TEST(DnsReply, AliasBeforeTwoAddressesYieldsTheAddressesInOrder) {
  Bytes alias = {3, 'c', 'd', 'n', 0xC0, 16};  // "cdn" + pointer to "ex"
  size_t aliasAt = 12 + kQuestion.size() + 12;
  Bytes toAlias = {0xC0, uint8_t(aliasAt)};
  Bytes reply = Concat({Header(0x8180, 1, 3), kQuestion, Record(kToQuestion, 5, alias),
                        Record(toAlias, 1, {10, 0, 0, 1}), Record(toAlias, 1, {192, 168, 200, 254})});
  std::vector<std::string> list;
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 1, list), kLookupOk);
  EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.1", "192.168.200.254"}));
  // Asked for aliases instead, the same reply yields the alias.
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 5, list), kLookupOk);
  EXPECT_EQ(list, std::vector<std::string>{"cdn.ex"});
}

TEST(DnsReply, CompressedNamesAreFollowedAndDecodingGoesOnBehindThePointer) {
  Bytes reply = Concat({Header(0x8180, 1, 0), kQuestion, {1, 'a', 0xC0, 12, 0x55}});
  size_t cursor = 12 + kQuestion.size();
  EXPECT_EQ(DecodeName(reply.data(), reply.size(), cursor), "a.www.ex");
  EXPECT_EQ(cursor, reply.size() - 1);
  EXPECT_EQ(reply[cursor], 0x55);
}

TEST(DnsReply, PointerLoopsEndAndReadsStayInside) {
  // A name pointing at itself, and two names pointing at each other.
  Bytes self = {0xC0, 0};
  size_t cursor = 0;
  DecodeName(self.data(), self.size(), cursor);
  EXPECT_EQ(cursor, 2u);
  Bytes pair = {1, 'a', 0xC0, 4, 1, 'b', 0xC0, 0};
  cursor = 0;
  std::string name = DecodeName(pair.data(), pair.size(), cursor);
  EXPECT_EQ(name.substr(0, 7), "a.b.a.b");
  EXPECT_LE(name.size(), 4u * (kMaxPointerDepth + 1));
  // A label that claims more bytes than arrived.
  Bytes cut = {5, 'a', 'b'};
  cursor = 0;
  EXPECT_EQ(DecodeName(cut.data(), cut.size(), cursor), "ab");
  // A looping owner name still lets the record behind it be read.
  Bytes loopOwner = {0xC0, uint8_t(12 + kQuestion.size())};
  Bytes reply = Concat({Header(0x8180, 1, 1), kQuestion, Record(loopOwner, 1, {9, 9, 9, 9})});
  std::vector<std::string> list;
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 1, list), kLookupOk);
  EXPECT_EQ(list, std::vector<std::string>{"9.9.9.9"});
}

TEST(DnsReply, RecordsRunningPastTheEndYieldNothingFromThereOn) {
  Bytes reply = Concat({Header(0x8180, 1, 3), kQuestion, Record(kToQuestion, 1, {1, 1, 1, 1}),
                        Record(kToQuestion, 1, {2, 2, 2, 2}), Record(kToQuestion, 1, {3, 3, 3, 3})});
  std::vector<std::string> list;
  for (size_t cut = 1; cut <= 4; ++cut) {
    EXPECT_EQ(DecodeReply(reply.data(), reply.size() - cut, 0x1234, 1, list), kLookupOk);
    EXPECT_EQ(list, (std::vector<std::string>{"1.1.1.1", "2.2.2.2"})) << cut;
  }
  // An address record whose data is too short is no address.
  Bytes shortA =
      Concat({Header(0x8180, 1, 2), kQuestion, Record(kToQuestion, 1, {7, 7}), Record(kToQuestion, 1, {8, 8, 8, 8})});
  EXPECT_EQ(DecodeReply(shortA.data(), shortA.size(), 0x1234, 1, list), kLookupOk);
  EXPECT_EQ(list, std::vector<std::string>{"8.8.8.8"});
}

TEST(DnsReply, QuestionNamesAreSkippedLabelByLabel) {
  // A question label holding bytes that look like a pointer and a terminator.
  Bytes question = {3, 0xC0, 0x00, 0xD6, 0, 0, 1, 0, 1};
  Bytes reply = Concat({Header(0x8180, 1, 1), question, Record(kToQuestion, 1, {4, 3, 2, 1})});
  std::vector<std::string> list;
  EXPECT_EQ(DecodeReply(reply.data(), reply.size(), 0x1234, 1, list), kLookupOk);
  EXPECT_EQ(list, std::vector<std::string>{"4.3.2.1"});
  // A compressed question name, then two questions.
  Bytes two = Concat({Header(0x8180, 2, 1), kQuestion, {0xC0, 12, 0, 1, 0, 1}, Record(kToQuestion, 1, {5, 5, 5, 5})});
  EXPECT_EQ(DecodeReply(two.data(), two.size(), 0x1234, 1, list), kLookupOk);
  EXPECT_EQ(list, std::vector<std::string>{"5.5.5.5"});
}

// Rendering of every record type. The data sits behind the name "ex.com" at
// offset 0, which the rows point to with C0 00.
struct TRenderRow {
  uint16_t type;
  Bytes data;
  std::string text;
};

class DnsRender : public ::testing::TestWithParam<TRenderRow> {};

TEST_P(DnsRender, RendersTheTable) {
  const TRenderRow& row = GetParam();
  Bytes buffer = Concat({{2, 'e', 'x', 3, 'c', 'o', 'm', 0}, row.data});
  EXPECT_EQ(RenderRecord(buffer.data(), buffer.size(), 8, row.data.size(), row.type), row.text);
}

const Bytes P = {0xC0, 0};  // pointer to "ex.com"

INSTANTIATE_TEST_SUITE_P(
    Types, DnsRender,
    ::testing::Values(
        TRenderRow{1, {10, 0, 0, 1}, "10.0.0.1"}, TRenderRow{1, {255, 128, 1, 0}, "255.128.1.0"},
        TRenderRow{1, {10, 0, 0}, ""}, TRenderRow{2, P, "ex.com"}, TRenderRow{3, P, "ex.com"},
        TRenderRow{4, P, "ex.com"}, TRenderRow{5, {3, 'w', 'w', 'w', 0xC0, 0}, "www.ex.com"},
        TRenderRow{7, P, "ex.com"}, TRenderRow{8, P, "ex.com"}, TRenderRow{9, P, "ex.com"}, TRenderRow{12, P, "ex.com"},
        TRenderRow{19, P, "ex.com"}, TRenderRow{22, P, "ex.com"}, TRenderRow{23, P, "ex.com"}, TRenderRow{2, {0}, ""},
        TRenderRow{6, Concat({P, {1, 'h', 0xC0, 0}, {0, 0, 0,    1, 0, 0, 0x0E, 0x10, 0,    0,
                                                     0, 3, 0x80, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}}),
                   "ex.com,h.ex.com,1,3600,3,-2147483648,-1"},
        TRenderRow{6, Concat({P, P, {0, 0, 0, 1}}), ""},
        TRenderRow{13, {3, 'x', '8', '6', 5, 'l', 'i', 'n', 'u', 'x'}, "x86,linux"},
        TRenderRow{13, {3, 'x', '8', '6'}, ""}, TRenderRow{14, Concat({P, {1, 'm', 0}}), "ex.com,m"},
        TRenderRow{17, Concat({P, P}), "ex.com,ex.com"}, TRenderRow{20, Concat({P, P}), "ex.com,ex.com"},
        TRenderRow{15, Concat({{0, 10}, P}), "10,ex.com"}, TRenderRow{18, Concat({{0xFF, 0xFF}, P}), "65535,ex.com"},
        TRenderRow{21, Concat({{0, 1}, P}), "1,ex.com"}, TRenderRow{36, Concat({{0, 2}, P}), "2,ex.com"},
        TRenderRow{15, {0}, ""}, TRenderRow{16, {2, 'h', 'i', 3, 'y', 'o', 'u'}, "hiyou"},
        TRenderRow{99, {4, 'v', '=', 's', 'p'}, "v=sp"}, TRenderRow{16, {2, 'h', 'i', 9, 'y', 'o'}, "hiyo"},
        TRenderRow{26, Concat({{0, 5}, P, P}), "5,ex.com,ex.com"},
        TRenderRow{27, Concat({P, P, {1, 'z', 0}}), "ex.com,ex.com,z"},
        TRenderRow{33, Concat({{0, 1, 0, 2, 0x01, 0xBB}, P}), "1,2,443,,ex.com"}, TRenderRow{33, {0, 1}, ""},
        TRenderRow{28, {0x20, 1, 0xd, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, ""}, TRenderRow{65535, P, ""}));

}  // namespace
}  // namespace lg::dns
