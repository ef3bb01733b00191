// Feeds arbitrary datagram sequences to the server-list reply assembly and
// every complete server list to TServerConfig::LoadFromText, as the
// launcher's UDP thread does. The input is a sequence of datagrams, each a
// length byte followed by that many bytes (a short last one takes what is
// left); a length byte of 0 empties the buffer as a new request would.
//
// Checked: nothing crashes or throws; the buffer never grows past 1 MiB;
// the lists obey their rules (recommended entries carry 2, the
// normal list is sorted by unsigned opening time, groups are never empty,
// latency is -1 until an echo arrives, the default is recommended).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "servers/ServerListFrame.h"
#include "servers/TServerConfig.h"
#include "servers/TServerListReply.h"

namespace {

using namespace lg;

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckLists(const TServerConfig& config, bool anyNormal) {
  const auto recommended = config.RecommendedList();
  const auto normal = config.NormalList();
  Check(anyNormal == !normal.empty());
  for (const auto& info : recommended) {
    Check(info.recommend == TServerInfo::kRecommended);
    Check(!info.member.empty() && info.latency == TServerInfo::kNoLatency);
  }
  for (size_t i = 0; i < normal.size(); ++i) {
    Check(normal[i].recommend != TServerInfo::kRecommended && !normal[i].member.empty());
    if (i > 0) Check(static_cast<uint32_t>(normal[i - 1].opentime) <= static_cast<uint32_t>(normal[i].opentime));
  }
  if (auto def = config.DefaultServer()) Check(def->recommend == TServerInfo::kRecommended && def->default_ > 0);
  Check(config.FindServer(0).has_value() == (!recommended.empty() || !normal.empty()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // No name is ever looked up: the fuzzer must not reach the network.
  static TServerConfig config(nullptr, [](const std::string& host) { return host; });
  TServerListReply reply;
  reply.OnServerList = [&](const std::string& text) {
    CheckLists(config, config.LoadFromText(text));
    config.EchoReceived("10.0.0.1", 5, 1);
    config.EchoReceived("10.0.0.1", 5, 0x8001);
  };
  size_t at = 0;
  while (at < size) {
    const size_t length = data[at++];
    if (length == 0) {
      reply.Clear();
      continue;
    }
    const size_t take = length < size - at ? length : size - at;
    reply.Append(data + at, take);
    at += take;
    Check(reply.Buffered() <= TServerListReply::kBufferSize);
  }
  return 0;
}
