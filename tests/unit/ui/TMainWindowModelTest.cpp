#include "ui/TMainWindowModel.h"

#include <gtest/gtest.h>

#include <set>

#include "common/Gbk.h"
#include "common/Platform.h"
#include "servers/TServerConfig.h"

namespace lg {
namespace {

using C = TMainControl;

std::string Doc(const std::string& servers) {
  return Gbk("{\"server\":[" + servers + "]}");
}

std::u16string U16(const char* utf8) {
  return plat::Utf16FromGbk(Gbk(utf8));
}

// A model on a hand-driven clock that counts the requests it sends.
struct TModelRig {
  uint32_t now = 100000;
  int sent = 0;
  bool sendWorks = true;
  TMainWindowModel model{[this] { return now; },
                         [this] {
                           if (sendWorks) ++sent;
                           return sendWorks;
                         }};
};

// A config whose host names never resolve (no network in tests).
TServerConfig MakeConfig() {
  return TServerConfig(nullptr, [](const std::string& host) { return host; });
}

TServerInfo Record(int id, const char* name, const char* member) {
  TServerInfo info;
  info.id = id;
  info.name = U16(name);
  info.member = Gbk(member);
  return info;
}

struct TModeCase {
  const char* name;
  void (TMainWindowModel::*mode)();
  std::vector<C> shown;
  std::vector<C> hidden;
};

class MainWindowModes : public ::testing::TestWithParam<TModeCase> {};

TEST_P(MainWindowModes, ShowAndHideTheirSetsWhateverCameBefore) {
  const TModeCase& c = GetParam();
  // From each other mode, and from everything shown or everything hidden.
  for (int start = 0; start < 5; ++start) {
    TModelRig rig;
    TMainWindowModel& m = rig.model;
    if (start == 0) (m.*c.mode)();
    if (start == 1) m.SetUpdateMode();
    if (start == 2) m.SetReadyMode();
    for (int i = 0; i < kMainControlCount; ++i) m.State(static_cast<C>(i)).visible = start == 3;
    (m.*c.mode)();
    for (C s : c.shown) EXPECT_TRUE(m.State(s).visible) << c.name << " start " << start << " " << Design(s).name;
    for (C h : c.hidden) EXPECT_FALSE(m.State(h).visible) << c.name << " start " << start << " " << Design(h).name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, MainWindowModes,
    ::testing::Values(TModeCase{"update",
                                &TMainWindowModel::SetUpdateMode,
                                {C::LBStatus, C::LGPTotal, C::LGCurrent},
                                {C::btnSelServer, C::lbLstSelSrv, C::LGStart, C::picLogin, C::LGLabel1}},
                      TModeCase{"updating",
                                &TMainWindowModel::SetUpdatingMode,
                                {C::LBStatus, C::LGPTotal, C::LGCurrent},
                                {C::btnSelServer}},
                      TModeCase{"ready",
                                &TMainWindowModel::SetReadyMode,
                                {C::LGStart, C::lbCurSelSrv, C::lbMember, C::btnSelMem, C::btnSelServer, C::lbLstSelSrv,
                                 C::picLogin, C::LGLabel1, C::NewsBrowser},
                                {C::LBStatus, C::LGPTotal, C::LGCurrent, C::lbIngUpdate}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(MainWindowModel, ModesSetTheStartButtonAndStatusText) {
  TModelRig rig;
  TMainWindowModel& m = rig.model;
  EXPECT_FALSE(m.State(C::LGStart).enabled);  // as designed
  m.SetReadyMode();
  EXPECT_TRUE(m.State(C::LGStart).enabled);
  m.SetUpdatingMode();
  EXPECT_FALSE(m.State(C::LGStart).enabled);
  EXPECT_EQ(m.State(C::LBStatus).text, U16("正在更新"));
  // Update mode leaves what it does not list alone.
  m.State(C::lbMember).visible = true;
  m.SetUpdateMode();
  EXPECT_TRUE(m.State(C::lbMember).visible);
}

TEST(MainWindowModel, DesignedStateComesFromTheTable) {
  TModelRig rig;
  const TMainWindowModel& m = rig.model;
  EXPECT_EQ(m.State(C::LGLabel1).text, U16("刷新区服列表"));
  EXPECT_EQ(m.State(C::lbIngUpdate).text, U16("跳过更新"));
  EXPECT_TRUE(m.State(C::lbLstSelSrv).text.empty());  // a caption only, not drawn
  EXPECT_EQ(m.State(C::LGCurrent).position, 50);
  EXPECT_EQ(m.State(C::LGBtn4).tag, 4);
  EXPECT_EQ(ControlByName("wb"), C::NewsBrowser);
  EXPECT_EQ(ControlByName("LGBtn3"), C::LGBtn3);
  EXPECT_FALSE(ControlByName("nothing"));
  std::set<std::string> names;
  for (const TControlDesign& d : kMainControls) names.insert(d.name);
  EXPECT_EQ(names.size(), kMainControls.size());
}

TEST(MainWindowModel, SelectMemberLeavesTheGroupsLastServerCurrent) {
  TModelRig rig;
  TMainWindowModel& m = rig.model;
  TServerListResult list;
  list.loaded = true;
  for (auto [id, member] : {std::pair{1, "一区"}, {2, "二区"}, {3, "一区"}, {4, "二区"}, {5, "一区"}})
    list.names.push_back({"s" + std::to_string(id), Record(id, ("s" + std::to_string(id)).c_str(), member)});
  m.ApplyServerList(list);
  m.SelectMember(Gbk("一区"));
  EXPECT_EQ(m.CurrentServer().id, 5);
  EXPECT_EQ(m.CurrentMember(), Gbk("一区"));
  EXPECT_EQ(m.State(C::lbMember).text, U16("一区"));
  EXPECT_EQ(m.State(C::lbCurSelSrv).text, u"s5");
  EXPECT_TRUE(m.State(C::LGStart).enabled);

  // A group without servers changes the group but keeps the server.
  m.SelectMember("empty");
  EXPECT_EQ(m.CurrentMember(), "empty");
  EXPECT_EQ(m.CurrentServer().id, 5);
}

TEST(MainWindowModel, SelectServerCopiesTheWholeRecord) {
  TModelRig rig;
  TServerInfo info = Record(42, "电信一区", "电信");
  info.ip = "10.1.2.3|10.1.2.4";
  info.port = 7000;
  info.patchurl = "http://p/";
  rig.model.SelectServer(info);
  EXPECT_EQ(rig.model.CurrentServer(), info);
  EXPECT_EQ(rig.model.State(C::lbCurSelSrv).text, U16("电信一区"));
  EXPECT_EQ(rig.model.State(C::lbMember).text, U16("电信"));
}

TEST(MainWindowModel, RequestsAreSpacedByFiveSeconds) {
  TModelRig rig;
  TMainWindowModel& m = rig.model;
  m.SetReadyMode();
  EXPECT_TRUE(m.RequestServerList());
  EXPECT_FALSE(m.State(C::LGLabel1).visible);
  EXPECT_TRUE(m.RequestPending());
  EXPECT_EQ(m.LastRequestTick(), 100000u);
  rig.now += 4999;
  EXPECT_FALSE(m.RequestServerList());
  EXPECT_EQ(rig.sent, 1);
  rig.now += 1;
  EXPECT_TRUE(m.RequestServerList());
  EXPECT_EQ(rig.sent, 2);
}

TEST(MainWindowModel, RequestSpacingSurvivesTheTickWrapAndAnEarlyClock) {
  TModelRig rig;
  rig.now = 0xFFFFF000u;
  EXPECT_TRUE(rig.model.RequestServerList());
  rig.now += 4000;  // wrapped past 0
  EXPECT_FALSE(rig.model.RequestServerList());
  rig.now += 1000;
  EXPECT_TRUE(rig.model.RequestServerList());

  // A clock that has run less than 5 s still sends the first request.
  TModelRig early;
  early.now = 1200;
  EXPECT_TRUE(early.model.RequestServerList());
  EXPECT_EQ(early.sent, 1);
}

TEST(MainWindowModel, ARequestThatCannotBeSentKeepsTheRefreshLabel) {
  TModelRig rig;
  TMainWindowModel& m = rig.model;
  m.SetReadyMode();
  rig.sendWorks = false;
  EXPECT_FALSE(m.RequestServerList());
  EXPECT_TRUE(m.State(C::LGLabel1).visible);
  EXPECT_FALSE(m.RequestPending());
  EXPECT_EQ(m.LastRequestTick(), 0u);
  rig.sendWorks = true;
  rig.now += 10;  // no spacing after a request that did not go out
  EXPECT_TRUE(m.RequestServerList());
}

TEST(MainWindowModel, Timer1ReoffersTheRefreshLabelAfterTenSecondsWithoutReply) {
  TModelRig rig;
  TMainWindowModel& m = rig.model;
  m.SetReadyMode();
  ASSERT_TRUE(m.RequestServerList());
  for (int s = 1; s <= 10; ++s) {
    rig.now += 1000;
    m.Timer1Tick();
    EXPECT_FALSE(m.State(C::LGLabel1).visible) << s;  // 10000 ms is not more than 10000
    EXPECT_TRUE(m.RequestPending());
  }
  rig.now += 1;
  m.Timer1Tick();
  EXPECT_TRUE(m.State(C::LGLabel1).visible);
  EXPECT_FALSE(m.RequestPending());
  EXPECT_EQ(m.LastRequestTick(), 0u);
  EXPECT_TRUE(m.RequestServerList());
}

TEST(MainWindowModel, AReplyAfterNineSecondsEndsTheWait) {
  TModelRig rig;
  TMainWindowModel& m = rig.model;
  m.SetReadyMode();
  ASSERT_TRUE(m.RequestServerList());
  rig.now += 9000;
  m.ApplyServerList(TServerListResult{});
  EXPECT_FALSE(m.RequestPending());
  EXPECT_TRUE(m.State(C::LGLabel1).visible);
  m.State(C::LGLabel1).visible = false;  // nothing re-shows it now
  rig.now += 5000;
  m.Timer1Tick();
  EXPECT_FALSE(m.State(C::LGLabel1).visible);
}

class MainWindowReply : public ::testing::Test {
 protected:
  TModelRig rig_;
  TServerConfig config_ = MakeConfig();
  const std::string doc_ = Doc(R"({"id":10,"name":"新区","recommend":2,"member":"推荐"},)"
                               R"({"id":20,"name":"老区","opentime":9,"member":"电信"},)"
                               R"({"id":30,"name":"二区","opentime":3,"member":"电信"})");
};

TEST_F(MainWindowReply, FillsNamesRecommendedFirstAndRestoresTheLastServer) {
  TMainWindowModel& m = rig_.model;
  m.State(C::lbCurSelSrv).text = u"stale";
  m.ApplyServerList(*ReadServerList(config_, doc_, 20));
  ASSERT_EQ(m.ServerNames().size(), 3u);
  EXPECT_EQ(m.ServerNames()[0].name, Gbk("新区"));
  EXPECT_EQ(m.ServerNames()[1].name, Gbk("二区"));  // opening time 3 before 9
  EXPECT_EQ(m.ServerNames()[2].record.id, 20);
  EXPECT_EQ(m.CurrentServer().id, 20);
  EXPECT_EQ(m.State(C::lbLstSelSrv).text, U16("老区"));
  EXPECT_EQ(m.State(C::lbCurSelSrv).text, U16("老区"));
  EXPECT_EQ(m.State(C::lbMember).text, U16("电信"));
}

TEST_F(MainWindowReply, UnknownLastServerFallsBackToTheFirstRecommended) {
  rig_.model.ApplyServerList(*ReadServerList(config_, doc_, 0));
  EXPECT_EQ(rig_.model.CurrentServer().id, 10);
}

TEST_F(MainWindowReply, OnlyRecommendedServersShowNoServer) {
  TMainWindowModel& m = rig_.model;
  m.State(C::lbCurSelSrv).text = u"stale";
  m.ApplyServerList(*ReadServerList(config_, Doc(R"({"id":1,"name":"a","recommend":2,"default":1})"), 1));
  EXPECT_TRUE(m.ServerNames().empty());
  EXPECT_EQ(m.CurrentServer().id, 0);
  EXPECT_TRUE(m.State(C::lbCurSelSrv).text.empty());
  EXPECT_FALSE(m.State(C::LGStart).enabled);
  EXPECT_TRUE(m.State(C::LGLabel1).visible);
}

TEST_F(MainWindowReply, BrokenTextEmptiesTheListButKeepsTheChosenServer) {
  TMainWindowModel& m = rig_.model;
  m.ApplyServerList(*ReadServerList(config_, doc_, 30));
  m.ApplyServerList(*ReadServerList(config_, "{not json", 30));
  EXPECT_TRUE(m.ServerNames().empty());
  EXPECT_EQ(m.CurrentServer().id, 30);
  EXPECT_TRUE(m.State(C::lbCurSelSrv).text.empty());
}

TEST_F(MainWindowReply, LastServerClickNeedsTheNameInTheList) {
  TMainWindowModel& m = rig_.model;
  EXPECT_FALSE(m.LastServerClick());  // before any list
  EXPECT_EQ(m.CurrentServer().id, 0);
  m.ApplyServerList(*ReadServerList(config_, doc_, 30));
  m.SelectServer(m.ServerNames()[0].record);
  EXPECT_TRUE(m.LastServerClick());
  EXPECT_EQ(m.CurrentServer().id, 30);
}

TEST_F(MainWindowReply, APopupOpenWhileANewListArrivesCommitsItsOwnCopy) {
  TMainWindowModel& m = rig_.model;
  m.ApplyServerList(*ReadServerList(config_, doc_, 20));
  TServerPopup popup(TPopupMode::Servers, m.ServerNames(), m.CurrentMember());
  ASSERT_EQ(popup.Count(), 2);
  popup.Select(0);
  // The new reply frees every record of the old one in the config.
  m.ApplyServerList(*ReadServerList(config_, Doc(R"({"id":77,"name":"x","member":"y"})"), 77));
  const TServerPopup::TCommit commit = popup.Commit();
  ASSERT_EQ(commit.kind, TServerPopup::TCommit::SelectServer);
  m.SelectServer(commit.server);
  EXPECT_EQ(m.CurrentServer().id, 30);
  EXPECT_EQ(m.State(C::lbCurSelSrv).text, U16("二区"));
}

}  // namespace
}  // namespace lg
