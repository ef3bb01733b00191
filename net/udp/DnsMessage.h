// DNS messages (RFC 1035) as the direct resolver builds and reads them:
// pure functions of bytes, shared by TUDPDnsLookup, the tests' fake resolver
// and the fuzz target. Nothing here touches a socket.
//
// Thread safety: every function is reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lg::dns {

inline constexpr size_t kHeaderSize = 12;
// The resolver's packet buffer: queries and replies never exceed it.
inline constexpr size_t kPacketSize = 1024;
// Compression pointers followed from one name before decoding gives up, so a
// pointer loop ends (real replies need two or three).
inline constexpr int kMaxPointerDepth = 16;

inline constexpr uint16_t kTypeA = 1;
inline constexpr uint16_t kClassIn = 1;
inline constexpr uint16_t kFlagsRecursionDesired = 0x0100;

// Result codes of a lookup.
inline constexpr int kLookupOk = 1;
inline constexpr int kLookupSocketFailed = -1;
inline constexpr int kLookupSendFailed = -2;
inline constexpr int kLookupBadReply = -3;

// The query for `name`: header (id, recursion desired, one question), the
// name as labels, QTYPE and QCLASS IN. An empty name or an empty last part
// after a trailing dot adds no label. Returns false (and leaves `out` empty)
// for a name that has an empty part elsewhere, a part longer than 63 bytes or
// more than 255 bytes in all: such a name would put a wrong query on the wire.
bool EncodeQuery(uint16_t id, const std::string& name, uint16_t qtype, std::vector<uint8_t>& out);

// Decodes the name at `cursor` within the `size` received bytes and moves the
// cursor past it (past the two bytes of a compression pointer). Reads never
// leave the received bytes; pointers are followed to kMaxPointerDepth.
std::string DecodeName(const uint8_t* data, size_t size, size_t& cursor);

// The text of one record's data (at `offset`, `length` bytes) for `type`:
// the rendering table of the direct resolver ("1.2.3.4", "10,mail.example",
// ...). Names may point anywhere inside the received bytes; fixed fields and
// character strings must lie inside the record's data, otherwise (and for
// unknown types) the text is empty.
std::string RenderRecord(const uint8_t* data, size_t size, size_t offset, size_t length, uint16_t type);

// Reads a reply to the query `queryId` for `qtype`.
//   kLookupBadReply: fewer than 12 bytes (`results` untouched) or another id
//     (`results` cleared);
//   kLookupOk: `results` cleared, then one text per answer record of type
//     `qtype` with a non-empty rendering, in answer order (none when RCODE is
//     not 0).
int DecodeReply(const uint8_t* data, size_t size, uint16_t queryId, uint16_t qtype, std::vector<std::string>& results);

}  // namespace lg::dns
