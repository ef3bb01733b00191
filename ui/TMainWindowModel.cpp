#include "ui/TMainWindowModel.h"

#include "common/Gbk.h"
#include "common/Platform.h"
#include "servers/TServerConfig.h"

namespace lg {

using C = TMainControl;

std::unique_ptr<TServerListResult> ReadServerList(TServerConfig& config, const std::string& text,
                                                  int32_t lastServerId) {
  auto result = std::make_unique<TServerListResult>();
  result->loaded = config.LoadFromText(text);
  if (!result->loaded) return result;
  for (const TServerInfo& info : config.RecommendedList())
    result->names.push_back({plat::GbkFromUtf16(info.name), info});
  for (const TServerInfo& info : config.NormalList()) result->names.push_back({plat::GbkFromUtf16(info.name), info});
  result->last = config.FindServer(lastServerId);
  return result;
}

TMainWindowModel::TMainWindowModel(TClock clock, TSendRequest send) : clock_(std::move(clock)), send_(std::move(send)) {
  for (int i = 0; i < kMainControlCount; ++i) {
    const TControlDesign& d = kMainControls[i];
    TControlState& s = states_[i];
    s.bounds = d.bounds;
    s.visible = d.visible;
    s.enabled = d.enabled;
    s.caption = plat::Utf16FromGbk(Gbk(d.caption));
    s.text = plat::Utf16FromGbk(Gbk(d.text));
    s.tag = d.tag;
    if (d.kind == TControlKind::Progress) s.position = 50;
  }
}

void TMainWindowModel::Show(std::initializer_list<TMainControl> controls, bool visible) {
  for (TMainControl c : controls) State(c).visible = visible;
}

void TMainWindowModel::SetUpdateMode() {
  Show({C::LBStatus, C::LGPTotal, C::LGCurrent}, true);
  Show({C::btnSelServer, C::lbLstSelSrv, C::LGStart, C::picLogin, C::LGLabel1}, false);
}

void TMainWindowModel::SetUpdatingMode() {
  Show({C::LBStatus, C::LGPTotal, C::LGCurrent}, true);
  Show({C::btnSelServer}, false);
  State(C::LBStatus).text = plat::Utf16FromGbk(Gbk("正在更新"));
  State(C::LGStart).enabled = false;
}

void TMainWindowModel::SetReadyMode() {
  Show({C::LGStart, C::lbCurSelSrv, C::lbMember, C::btnSelMem, C::btnSelServer, C::lbLstSelSrv, C::picLogin,
        C::LGLabel1, C::NewsBrowser},
       true);
  Show({C::LBStatus, C::LGPTotal, C::LGCurrent, C::lbIngUpdate}, false);
  State(C::LGStart).enabled = true;
}

void TMainWindowModel::SelectServer(const TServerInfo& record) {
  State(C::lbCurSelSrv).text = record.name;
  State(C::lbMember).text = plat::Utf16FromGbk(record.member);
  currentServer_ = record;
  currentMember_ = record.member;
  State(C::LGStart).enabled = true;
}

void TMainWindowModel::SelectMember(const std::string& member) {
  currentMember_ = member;
  State(C::lbMember).text = plat::Utf16FromGbk(member);
  // Each match becomes current in turn: the group's last server stays.
  // Iterate over a copy: SelectServer never changes the list, but a copy
  // keeps that a local fact.
  const std::vector<TServerName> names = serverNames_;
  for (const TServerName& entry : names)
    if (entry.record.member == member) SelectServer(entry.record);
}

bool TMainWindowModel::RequestServerList() {
  const uint32_t now = clock_();
  if (lastRequestTick_ != 0 && now - lastRequestTick_ < kRequestSpacingMs) return false;
  // A request that cannot go out (no socket, a game id that is not a
  // number) changes nothing: the refresh label stays on offer.
  if (!send_()) return false;
  lastRequestTick_ = now != 0 ? now : 1;  // 0 means "none"
  State(C::LGLabel1).visible = false;
  requestPending_ = true;
  return true;
}

void TMainWindowModel::Timer1Tick() {
  if (!requestPending_ || lastRequestTick_ == 0) return;
  if (clock_() - lastRequestTick_ <= kReplyTimeoutMs) return;
  lastRequestTick_ = 0;
  State(C::LGLabel1).visible = true;
  requestPending_ = false;
}

bool TMainWindowModel::LastServerClick() {
  const std::string name = plat::GbkFromUtf16(State(C::lbLstSelSrv).text);
  for (const TServerName& entry : serverNames_) {
    if (entry.name == name) {
      SelectServer(entry.record);
      return true;
    }
  }
  return false;
}

void TMainWindowModel::ApplyServerList(const TServerListResult& result) {
  serverNames_.clear();
  State(C::lbCurSelSrv).text.clear();
  if (result.loaded) {
    serverNames_ = result.names;
    if (result.last) {
      SelectServer(*result.last);
      State(C::lbLstSelSrv).text = result.last->name;
    }
  }
  requestPending_ = false;
  State(C::LGLabel1).visible = true;
}

}  // namespace lg
