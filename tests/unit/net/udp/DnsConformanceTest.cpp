// Public DNS messages (tests/data/dns, see PROVENANCE.txt there) read by the
// reply parser: fuzzing finds of another resolver, replayed for crashes and
// bounds, and a few messages whose reading is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "net/udp/DnsMessage.h"
#include "tests/support/TestSupport.h"

namespace lg::dns {
namespace {

const std::string kDir = std::string(LG_TEST_DATA_DIR) + "dns/";

std::vector<uint8_t> Load(const std::string& path) {
  const std::string bytes = test::ReadFileBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

TEST(DnsConformance, EveryFuzzMessageReplaysWithinBounds) {
  const uint16_t types[] = {1, 2, 5, 6, 12, 15, 16, 26, 28, 33, 36, 255};
  size_t files = 0;
  for (const char* folder : {"c-ares-fuzzinput/current", "c-ares-fuzzinput/dropped-2016"}) {
    for (const auto& entry : std::filesystem::directory_iterator(kDir + folder)) {
      const std::string name = entry.path().filename().string();
      const std::vector<uint8_t> m = Load(kDir + folder + "/" + name);
      ++files;
      const auto start = std::chrono::steady_clock::now();
      const uint16_t id = m.size() >= 2 ? static_cast<uint16_t>(m[0] << 8 | m[1]) : 0;
      for (uint16_t type : types) {
        std::vector<std::string> results;
        const int r = DecodeReply(m.data(), m.size(), id, type, results);
        EXPECT_TRUE(r == kLookupOk || r == kLookupBadReply) << name;
        if (r == kLookupBadReply) {
          EXPECT_TRUE(results.empty()) << name;
        }
        // Never more answers than the header counts, nor texts beyond what
        // a message of this size can spell out through its pointers.
        if (m.size() >= kHeaderSize) {
          EXPECT_LE(results.size(), static_cast<size_t>(m[6] << 8 | m[7])) << name;
        }
        for (const auto& text : results) EXPECT_LE(text.size(), m.size() * (kMaxPointerDepth + 1) + 64) << name;
      }
      // Names read from every offset move the cursor forward, and past the
      // end by no more than the last label claimed (reads themselves never
      // leave the message; the sanitizer builds check that).
      for (size_t at = 0; at < std::min<size_t>(m.size(), 2048); ++at) {
        size_t cursor = at;
        DecodeName(m.data(), m.size(), cursor);
        EXPECT_TRUE(cursor > at && cursor <= m.size() + 256) << name << " @" << at << ": " << cursor;
      }
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      EXPECT_LT(ms, test::ScaledMs(10000)) << name;  // a hang, not a slow host
    }
  }
  EXPECT_EQ(files, 440u);
}

TEST(DnsConformance, MessagesWithAKnownReading) {
  std::vector<std::string> results;
  // Too short for a header: refused, results untouched.
  results = {"kept"};
  const auto shortHeader = Load(kDir + "dnspython-samples/short_header_11_zero_bytes.bin");
  EXPECT_EQ(DecodeReply(shortHeader.data(), shortHeader.size(), 0, kTypeA, results), kLookupBadReply);
  EXPECT_EQ(results, std::vector<std::string>{"kept"});

  // A compressed SOA answer with three NS authorities and an A additional:
  // only the answer section counts.
  const auto soa = Load(kDir + "dnspython-samples/goodwire2_soa_response.bin");
  ASSERT_EQ(soa.size(), 177u);
  EXPECT_EQ(DecodeReply(soa.data(), soa.size(), 1234, 6, results), kLookupOk);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_NE(results[0].find("woof.dnspython.org"), std::string::npos) << results[0];
  EXPECT_NE(results[0].find("hostmaster.dnspython.org"), std::string::npos) << results[0];
  EXPECT_EQ(DecodeReply(soa.data(), soa.size(), 1234, kTypeA, results), kLookupOk);
  EXPECT_TRUE(results.empty());
  EXPECT_EQ(DecodeReply(soa.data(), soa.size(), 1235, 6, results), kLookupBadReply);

  // A query (no answers) is read as an empty reply.
  const auto query = Load(kDir + "dnspython-samples/goodwire_query_edns_do.bin");
  EXPECT_EQ(DecodeReply(query.data(), query.size(), 1234, kTypeA, results), kLookupOk);
  EXPECT_TRUE(results.empty());
}

}  // namespace
}  // namespace lg::dns
