// The launcher's server list: reads the server list document into records,
// keeps the recommended servers (document order) and all others (sorted by
// opening time), knows the default server, finds a server by id, and stores
// probe round trips in the records.
//
// Threads: LoadFromText runs on the UDP socket's worker, EchoReceived on the
// probe's worker, the readers on any thread. One lock guards the lists and
// the default; it is a leaf lock, never held while calling out (the host
// resolver, the probe) or while parsing, so the probe thread waits at most
// for a list swap. Because records change under another thread (latency),
// readers get copies, never references into the lists.
//
// Lifetime: the probe must exist when the config is created; the config
// makes itself the probe's echo receiver and detaches in its destructor. An
// echo already on its way keeps the lists alive through shared ownership, so
// it never touches a destroyed object.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "servers/TServerInfo.h"

namespace lg {

class TUDPEchoServer;

// Host name to dotted address; anything else (the text unchanged) when the
// name does not resolve. Called only for texts that are not dotted.
using THostResolver = std::function<std::string(const std::string&)>;

class TServerConfig {
 public:
  // The group of records whose document gives no or an empty "member"
  // (GBK "推荐").
  static std::string DefaultMember();
  // The marker file beside the launcher that lets test servers through.
  static constexpr const char* kShowTestFile = "showtest.txt";

  // `probe` may be null (tools, tests). `resolver` defaults to the system
  // resolver's first address.
  explicit TServerConfig(TUDPEchoServer* probe, THostResolver resolver = {});
  ~TServerConfig();
  TServerConfig(const TServerConfig&) = delete;
  TServerConfig& operator=(const TServerConfig&) = delete;

  // Replaces everything with the servers of the GBK document text. True when
  // the normal list holds a record afterwards. A document that stops the
  // reading (wrong kind of value) keeps the records read before it.
  bool LoadFromText(const std::string& text);

  // The record with that id (the normal list's over the recommended list's),
  // else the default server, else the first recommended, else the first
  // normal record.
  std::optional<TServerInfo> FindServer(int32_t id) const;

  // A probe result: tag bit 15 selects the recommended list, the low 15 bits
  // are the index plus 1 (the normal list: the tag is the index plus 1). Kept
  // only when the record's ip equals `ip`.
  void EchoReceived(const std::string& ip, uint32_t elapsed, uint32_t tag);

  void Clear();

  int RecommendedCount() const;
  int NormalCount() const;
  std::optional<TServerInfo> Recommended(int index) const;
  std::optional<TServerInfo> Normal(int index) const;
  std::vector<TServerInfo> RecommendedList() const;
  std::vector<TServerInfo> NormalList() const;
  std::optional<TServerInfo> DefaultServer() const;

 private:
  struct TLists {
    std::vector<TServerInfo> recommended;
    std::vector<TServerInfo> normal;
    int defaultIndex = -1;  // into recommended
  };
  struct TShared {
    mutable std::mutex lock;  // leaf lock, see the header comment
    TLists lists;
  };

  static void Echo(TShared& shared, const std::string& ip, uint32_t elapsed, uint32_t tag);
  void Publish(TLists&& lists);

  std::shared_ptr<TShared> shared_;
  TUDPEchoServer* probe_;
  THostResolver resolver_;
};

}  // namespace lg
