// One game server of the server list: a plain record filled from one element
// of the server list document. TServerConfig owns the records; everyone
// else works on copies (see TServerConfig for why).
#pragma once

#include <cstdint>
#include <string>

namespace lg {

struct TServerInfo {
  // Recommended servers carry this `recommend` value; any non-zero value is
  // highlighted in the selection popup.
  static constexpr uint8_t kRecommended = 2;
  // Latency until a probe reply arrives.
  static constexpr int32_t kNoLatency = -1;

  std::u16string name;
  std::u16string alias;  // equals name when the document gives none
  std::string ip;        // GBK: dotted, "a|b|c" (one picked at launch) or a name that did not resolve
  int32_t port = 0;
  int32_t id = 0;
  int32_t latency = 0;
  uint8_t recommend = 0;  // low 8 bits of the document's number
  int32_t default_ = 0;   // > 0 on a recommended entry: the default server
  int32_t version = 0;
  std::string member;  // GBK group (zone) name, never empty after reading
  std::string patchurl;
  int32_t opentime = 0;  // sort key of the normal list, compared as unsigned
  int32_t test = 0;      // non-zero: test server

  bool operator==(const TServerInfo&) const = default;
};

}  // namespace lg
