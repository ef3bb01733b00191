// Turning host names into dotted IPv4 texts: the system way (ResolveHostList,
// ResolveHostFirst) and the update thread's fallback that asks the public
// resolvers directly (QueryPublicResolvers).
//
// The public resolvers default to the build's deployment values
// (LG_PUBLIC_RESOLVERS, port 53); SetPublicResolverSettings replaces them for
// the whole process, which tests use to point the fallback at a local fake
// resolver. Settings may be changed and read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace lg {

// Clears `list`; a dotted address is added unchanged, a name adds every
// address of the system resolver in its order (none when it fails).
void ResolveHostList(const std::string& host, std::vector<std::string>& list);

// A dotted address unchanged, else the system resolver's first address,
// else the text unchanged.
std::string ResolveHostFirst(const std::string& host);

struct TPublicResolverSettings {
  std::vector<std::string> resolvers;  // dotted IPv4 texts, asked in order
  uint16_t port = 53;
  int receiveTimeoutMs = 3000;  // per resolver
};

TPublicResolverSettings DefaultPublicResolverSettings();
TPublicResolverSettings PublicResolverSettings();
void SetPublicResolverSettings(const TPublicResolverSettings& settings);
void ResetPublicResolverSettings();

// Asks each public resolver in turn for the A records of `host` until one
// answers with at least one address. `list` is cleared first and receives
// the addresses; returns their count. A set `stop` flag ends the search
// (within 100 ms of a pending wait).
int QueryPublicResolvers(const std::string& host, std::vector<std::string>& list,
                         const std::atomic<bool>* stop = nullptr);

}  // namespace lg
