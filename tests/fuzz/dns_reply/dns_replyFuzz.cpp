// Reply decoding of arbitrary bytes for every record type.
// Input: byte 0 picks the query type, bit 0 of byte 1 says whether the query
// id matches the reply's; the rest is the reply as received.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/udp/DnsMessage.h"

namespace {

constexpr uint16_t kTypes[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,  16,   17,
                               18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 33, 36, 99, 255, 65535};

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint16_t qtype = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  bool sameId = (data[1] & 1) != 0;
  const uint8_t* reply = data + 2;
  size_t length = size - 2;
  uint16_t id = length >= 2 ? static_cast<uint16_t>((reply[0] << 8) | reply[1]) : 0;
  if (!sameId) id = static_cast<uint16_t>(id ^ 0x5A5A);

  std::vector<std::string> results = {"before"};
  int r = lg::dns::DecodeReply(reply, length, id, qtype, results);
  if (length < lg::dns::kHeaderSize) {
    Check(r == lg::dns::kLookupBadReply && results.size() == 1);
  } else if (!sameId) {
    Check(r == lg::dns::kLookupBadReply && results.empty());
  } else {
    Check(r == lg::dns::kLookupOk);
    // Every counted record takes at least 11 bytes of the reply.
    Check(results.size() <= length / 11);
    if (reply[3] & 0x0F) Check(results.empty());
    for (const std::string& text : results) Check(!text.empty());
  }

  // Names and records at the first offsets, with every type.
  for (size_t at = 0; at < length && at < 32; ++at) {
    size_t cursor = at;
    std::string name = lg::dns::DecodeName(reply, length, cursor);
    Check(cursor > at);
    Check(name.size() <= length * (lg::dns::kMaxPointerDepth + 2));
  }
  for (uint16_t type : kTypes) {
    size_t at = length > 12 ? 12 : 0;
    lg::dns::RenderRecord(reply, length, at, length - at, type);
  }

  // The bytes as a host name: a query is either refused or well formed.
  std::vector<uint8_t> query;
  std::string host(reinterpret_cast<const char*>(reply), length < 300 ? length : 300);
  if (lg::dns::EncodeQuery(id, host, qtype, query)) {
    Check(query.size() >= 17 && query.size() <= 12 + 255 + 4);
    std::vector<std::string> none;
    Check(lg::dns::DecodeReply(query.data(), query.size(), id, qtype, none) == lg::dns::kLookupOk);
  }
  return 0;
}
