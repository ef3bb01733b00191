#include "net/udp/HostResolve.h"

#include <mutex>

#include "DeploymentDefaults.h"
#include "common/Socket.h"
#include "net/udp/TUDPDnsLookup.h"

namespace lg {
namespace {

std::mutex settingsLock;

TPublicResolverSettings& CurrentSettings() {
  static TPublicResolverSettings settings = DefaultPublicResolverSettings();
  return settings;
}

bool IsDotted(const std::string& host) {
  return sock::ParseIpv4(host) != sock::kAddrNone;
}

}  // namespace

void ResolveHostList(const std::string& host, std::vector<std::string>& list) {
  list.clear();
  if (IsDotted(host)) {
    list.push_back(host);
    return;
  }
  for (uint32_t ip : sock::ResolveIpv4(host)) list.push_back(sock::FormatIpv4(ip));
}

std::string ResolveHostFirst(const std::string& host) {
  if (IsDotted(host)) return host;
  std::vector<uint32_t> list = sock::ResolveIpv4(host);
  return list.empty() ? host : sock::FormatIpv4(list.front());
}

TPublicResolverSettings DefaultPublicResolverSettings() {
  TPublicResolverSettings s;
  for (const char* ip : defaults::kPublicResolvers) s.resolvers.emplace_back(ip);
  s.port = TUDPDnsLookup::kDnsPort;
  s.receiveTimeoutMs = TUDPDnsLookup::kDefaultReceiveTimeoutMs;
  return s;
}

TPublicResolverSettings PublicResolverSettings() {
  std::lock_guard<std::mutex> guard(settingsLock);
  return CurrentSettings();
}

void SetPublicResolverSettings(const TPublicResolverSettings& settings) {
  std::lock_guard<std::mutex> guard(settingsLock);
  CurrentSettings() = settings;
}

void ResetPublicResolverSettings() {
  SetPublicResolverSettings(DefaultPublicResolverSettings());
}

int QueryPublicResolvers(const std::string& host, std::vector<std::string>& list, const std::atomic<bool>* stop) {
  TPublicResolverSettings settings = PublicResolverSettings();
  list.clear();
  for (const std::string& resolver : settings.resolvers) {
    if (stop && stop->load()) break;
    TUDPDnsLookup lookup;
    lookup.SetResolverPort(settings.port);
    lookup.SetReceiveTimeoutMs(settings.receiveTimeoutMs);
    lookup.SetStopFlag(stop);
    lookup.Lookup(resolver, host, list, dns::kTypeA);
    if (!list.empty()) break;
  }
  return static_cast<int>(list.size());
}

}  // namespace lg
