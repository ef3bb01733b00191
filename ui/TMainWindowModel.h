// The main window's state without the window: what each control shows
// (bounds, visibility, enabled state, texts, progress), the three mode
// sets, the current server and group, the server names of the last reply,
// and the request spacing and time-out of the server-list exchange.
//
// The Win32 window owns one model, calls it from its handlers and copies the
// control states into its skinned controls afterwards (TfrmMain::Sync).
//
// Thread: the window's thread only. The time comes from an injected clock
// (milliseconds, wrapping like GetTickCount) and the request goes out
// through an injected sender, so the rules are tested without sleeping or a
// socket.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "servers/TServerInfo.h"
#include "servers/TServerPopup.h"
#include "ui/TMainControls.h"

namespace lg {

class TServerConfig;

struct TControlState {
  TRect bounds;
  bool visible = true;
  bool enabled = true;
  std::u16string caption;
  std::u16string text;  // the drawn wide text
  int tag = 0;
  int64_t position = 0;
  int64_t max = 100;
};

// What the reply handling found in one server list, built on the UDP
// socket's thread and handed whole to the window's thread.
struct TServerListResult {
  bool loaded = false;              // LoadFromText found at least one normal server
  std::vector<TServerName> names;   // recommended first, then the others
  std::optional<TServerInfo> last;  // the server to restore ("lastserver" or the fallbacks)
};

// Reads the document into `config` and collects what the window needs.
// `lastServerId` is the "lastserver" setting.
std::unique_ptr<TServerListResult> ReadServerList(TServerConfig& config, const std::string& text, int32_t lastServerId);

class TMainWindowModel {
 public:
  static constexpr uint32_t kRequestSpacingMs = 5000;
  static constexpr uint32_t kReplyTimeoutMs = 10000;

  using TClock = std::function<uint32_t()>;
  // Sends one server-list request; false when nothing could be sent.
  using TSendRequest = std::function<bool()>;

  TMainWindowModel(TClock clock, TSendRequest send);

  TControlState& State(TMainControl c) { return states_[static_cast<size_t>(c)]; }
  const TControlState& State(TMainControl c) const { return states_[static_cast<size_t>(c)]; }

  void SetUpdateMode();
  void SetUpdatingMode();
  void SetReadyMode();

  void SelectServer(const TServerInfo& record);
  void SelectMember(const std::string& member);
  // True when a request went out.
  bool RequestServerList();
  // `Timer1`, every second: re-offers the refresh label after a lost reply.
  void Timer1Tick();
  // `lbLstSelSrv` click: makes the last server current when it is listed.
  bool LastServerClick();
  // The reply handling's window side.
  void ApplyServerList(const TServerListResult& result);

  const std::vector<TServerName>& ServerNames() const { return serverNames_; }
  const TServerInfo& CurrentServer() const { return currentServer_; }
  const std::string& CurrentMember() const { return currentMember_; }
  uint32_t LastRequestTick() const { return lastRequestTick_; }
  bool RequestPending() const { return requestPending_; }

 private:
  void Show(std::initializer_list<TMainControl> controls, bool visible);

  TClock clock_;
  TSendRequest send_;
  std::array<TControlState, kMainControlCount> states_;
  std::vector<TServerName> serverNames_;
  TServerInfo currentServer_;
  std::string currentMember_;
  uint32_t lastRequestTick_ = 0;  // 0: none
  bool requestPending_ = false;
};

}  // namespace lg
