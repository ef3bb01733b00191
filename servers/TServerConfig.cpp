#include "servers/TServerConfig.h"

#include <algorithm>
#include <exception>

#include "common/AsciiCase.h"
#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "common/Socket.h"
#include "net/udp/HostResolve.h"
#include "servers/TUDPEchoServer.h"
#include "update/json/TzqJSON.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

constexpr uint32_t kRecommendedTagBit = 0x8000;
constexpr uint32_t kTagIndexMask = 0x7FFF;

bool IsServerMemberName(const std::string& name) {
  return SameText(name, "server");
}

bool IsDotted(const std::string& ip) {
  return sock::ParseIpv4(ip) != sock::kAddrNone;
}

// A name worth asking a resolver about: an empty text or a list of several
// addresses ("a|b") cannot be a host name and stays as written.
bool MayBeHostName(const std::string& ip) {
  return !ip.empty() && ip.find('|') == std::string::npos && !IsDotted(ip);
}

}  // namespace

std::string TServerConfig::DefaultMember() {
  return Gbk("推荐");
}

TServerConfig::TServerConfig(TUDPEchoServer* probe, THostResolver resolver)
    : shared_(std::make_shared<TShared>()), probe_(probe), resolver_(std::move(resolver)) {
  if (!resolver_) resolver_ = [](const std::string& host) { return ResolveHostFirst(host); };
  if (probe_) {
    // The handler holds the lists, not this object: an echo already running
    // on the probe thread when we go keeps them alive until it returns.
    std::shared_ptr<TShared> shared = shared_;
    probe_->SetOnEcho(
        [shared](const std::string& ip, uint32_t elapsed, uint32_t tag) { Echo(*shared, ip, elapsed, tag); });
  }
}

TServerConfig::~TServerConfig() {
  if (probe_) probe_->SetOnEcho(nullptr);
}

void TServerConfig::Clear() {
  Publish(TLists{});
}

void TServerConfig::Publish(TLists&& lists) {
  {
    std::lock_guard<std::mutex> guard(shared_->lock);
    std::swap(shared_->lists, lists);
  }
  // The previous records are freed outside the lock.
}

bool TServerConfig::LoadFromText(const std::string& text) {
  Clear();
  TLists lists;
  try {
    std::unique_ptr<TzqJSONbase> doc = TzqJSONstreamed::ParseText(plat::Utf8FromGbk(text));
    if (doc) {
      if (doc->Kind() != jsObject) throw EInvalidCast();
      // Decided once per document; the marker's content is not read.
      const bool showTest = plat::FileExists(LauncherFolder() + kShowTestFile);
      static_cast<TzqJSONobject*>(doc.get())->ForEach([&](const std::string& name, TzqJSONbase* value, bool&) {
        if (!IsServerMemberName(name) || value->Kind() != jsList) return;
        auto* array = static_cast<TzqJSONlist*>(value);
        for (int i = 0; i < array->Count(); ++i) {
          TzqJSONbase* element = array->Child(i);
          if (element->Kind() != jsObject) throw EInvalidCast();
          const auto& entry = *static_cast<TzqJSONobject*>(element);

          TServerInfo info;
          info.name = entry.FieldWideText("name");
          info.alias = entry.FieldWideText("alias");
          if (info.alias.empty()) info.alias = info.name;
          info.ip = entry.FieldText("ip");
          if (MayBeHostName(info.ip)) info.ip = resolver_(info.ip);
          info.port = entry.FieldInt("port");
          info.id = entry.FieldInt("id");
          info.recommend = static_cast<uint8_t>(entry.FieldInt("recommend") & 0xFF);
          info.latency = TServerInfo::kNoLatency;
          info.default_ = entry.FieldInt("default");
          info.version = entry.FieldInt("version");
          info.patchurl = entry.FieldText("patchurl");
          info.opentime = entry.FieldInt("opentime");
          info.member = entry.FieldText("member");
          info.test = entry.FieldInt("test");

          if (info.test != 0 && !showTest) continue;
          if (info.member.empty()) info.member = DefaultMember();
          if (info.recommend == TServerInfo::kRecommended) {
            // A later default replaces an earlier one.
            if (info.default_ > 0) lists.defaultIndex = static_cast<int>(lists.recommended.size());
            lists.recommended.push_back(std::move(info));
          } else {
            lists.normal.push_back(std::move(info));
          }
        }
      });
    }
  } catch (const std::exception& e) {
    // A malformed entry ends the reading; what was read before it stays.
    plat::DebugOutput(std::string("server list: reading stopped after ") +
                      std::to_string(lists.recommended.size() + lists.normal.size()) + " servers: " + e.what());
  }
  std::stable_sort(lists.normal.begin(), lists.normal.end(), [](const TServerInfo& a, const TServerInfo& b) {
    return static_cast<uint32_t>(a.opentime) < static_cast<uint32_t>(b.opentime);
  });
  const bool any = !lists.normal.empty();
  Publish(std::move(lists));
  return any;
}

std::optional<TServerInfo> TServerConfig::FindServer(int32_t id) const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  const TLists& l = shared_->lists;
  const TServerInfo* found = nullptr;
  for (const TServerInfo& info : l.recommended) {
    if (info.id == id) {
      found = &info;
      break;
    }
  }
  // A match in the normal list wins over one among the recommended servers.
  for (const TServerInfo& info : l.normal) {
    if (info.id == id) {
      found = &info;
      break;
    }
  }
  if (!found && l.defaultIndex >= 0) found = &l.recommended[l.defaultIndex];
  if (!found && !l.recommended.empty()) found = &l.recommended.front();
  if (!found && !l.normal.empty()) found = &l.normal.front();
  if (!found) return std::nullopt;
  return *found;
}

void TServerConfig::EchoReceived(const std::string& ip, uint32_t elapsed, uint32_t tag) {
  Echo(*shared_, ip, elapsed, tag);
}

void TServerConfig::Echo(TShared& shared, const std::string& ip, uint32_t elapsed, uint32_t tag) {
  std::lock_guard<std::mutex> guard(shared.lock);
  const bool recommended = (tag & kRecommendedTagBit) != 0;
  std::vector<TServerInfo>& list = recommended ? shared.lists.recommended : shared.lists.normal;
  const int64_t index = static_cast<int64_t>(recommended ? (tag & kTagIndexMask) : tag) - 1;
  if (index < 0 || index >= static_cast<int64_t>(list.size())) return;
  TServerInfo& info = list[static_cast<size_t>(index)];
  if (info.ip != ip) return;
  info.latency = static_cast<int32_t>(elapsed);
}

int TServerConfig::RecommendedCount() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return static_cast<int>(shared_->lists.recommended.size());
}

int TServerConfig::NormalCount() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return static_cast<int>(shared_->lists.normal.size());
}

std::optional<TServerInfo> TServerConfig::Recommended(int index) const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  const auto& list = shared_->lists.recommended;
  if (index < 0 || index >= static_cast<int>(list.size())) return std::nullopt;
  return list[static_cast<size_t>(index)];
}

std::optional<TServerInfo> TServerConfig::Normal(int index) const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  const auto& list = shared_->lists.normal;
  if (index < 0 || index >= static_cast<int>(list.size())) return std::nullopt;
  return list[static_cast<size_t>(index)];
}

std::vector<TServerInfo> TServerConfig::RecommendedList() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->lists.recommended;
}

std::vector<TServerInfo> TServerConfig::NormalList() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->lists.normal;
}

std::optional<TServerInfo> TServerConfig::DefaultServer() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  const TLists& l = shared_->lists;
  if (l.defaultIndex < 0) return std::nullopt;
  return l.recommended[static_cast<size_t>(l.defaultIndex)];
}

}  // namespace lg
