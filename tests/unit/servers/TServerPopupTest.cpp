#include "servers/TServerPopup.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/Gbk.h"

namespace lg {
namespace {

TServerName Server(int id, const std::string& name, const std::string& member, uint8_t recommend = 0) {
  TServerName entry;
  entry.name = name;
  entry.record.id = id;
  entry.record.name = std::u16string(name.begin(), name.end());
  entry.record.member = member;
  entry.record.recommend = recommend;
  return entry;
}

std::vector<std::string> Texts(const TServerPopup& popup) {
  std::vector<std::string> out;
  for (const TPopupRow& row : popup.Rows()) out.push_back(row.text);
  return out;
}

TEST(TServerPopup, GroupModeListsEachGroupOnceInTheFormMetFirst) {
  const std::vector<TServerName> names = {Server(1, "a1", "Alpha"), Server(2, "b1", "Beta"), Server(3, "a2", "ALPHA"),
                                          Server(4, "c1", "beta"), Server(5, "d1", Gbk("推荐"))};
  TServerPopup popup(TPopupMode::Groups, names, "Beta");
  EXPECT_EQ(Texts(popup), (std::vector<std::string>{"Alpha", "Beta", Gbk("推荐")}));
  for (const TPopupRow& row : popup.Rows()) EXPECT_FALSE(row.record.has_value());
}

TEST(TServerPopup, ServerModeListsTheCurrentGroupExactlyInListOrder) {
  const std::vector<TServerName> names = {Server(1, "a1", "A"), Server(2, "b1", "B"), Server(3, "a2", "A"),
                                          Server(4, "b2", "B"), Server(5, "b3", "b")};
  TServerPopup popup(TPopupMode::Servers, names, "B");
  EXPECT_EQ(Texts(popup), (std::vector<std::string>{"b1", "b2"}));
  ASSERT_TRUE(popup.Rows()[1].record);
  EXPECT_EQ(popup.Rows()[1].record->id, 4);
  EXPECT_EQ(TServerPopup(TPopupMode::Servers, names, "none").Count(), 0);
}

TEST(SameTextIgnoringAsciiCase, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(SameTextIgnoringAsciiCase("Zone-1", "zONE-1"));
  EXPECT_FALSE(SameTextIgnoringAsciiCase("Zone-1", "Zone-2"));
  EXPECT_FALSE(SameTextIgnoringAsciiCase("Zone", "Zones"));
  // Two different GBK characters whose trail bytes are 'A' and 'a'.
  EXPECT_FALSE(SameTextIgnoringAsciiCase("\x81\x41", "\x81\x61"));
  EXPECT_TRUE(SameTextIgnoringAsciiCase("\x81\x41x", "\x81\x41X"));
  // Non-ASCII bytes are not folded (0xC4 would fold to 0xE4 in Latin-1).
  EXPECT_FALSE(SameTextIgnoringAsciiCase("\xC4\xE4", "\xE4\xE4"));
}

struct THeightCase {
  int rows;
  int height;
};
class PopupHeight : public ::testing::TestWithParam<THeightCase> {};
TEST_P(PopupHeight, RowsTimes32PlusBorderUpTo200ThenSixRows) {
  std::vector<TServerName> names;
  for (int i = 0; i < GetParam().rows; ++i) names.push_back(Server(i + 1, "s" + std::to_string(i), "G"));
  TServerPopup popup(TPopupMode::Servers, names, "G");
  EXPECT_EQ(popup.Count(), GetParam().rows);
  EXPECT_EQ(popup.Height(), GetParam().height);
}
INSTANTIATE_TEST_SUITE_P(Rows, PopupHeight,
                         ::testing::Values(THeightCase{0, 2}, THeightCase{2, 66}, THeightCase{5, 162},
                                           THeightCase{6, 194}, THeightCase{7, 194}, THeightCase{40, 194}));

TEST(TServerPopup, PointerSelectsTheRowUnderItAndNothingBelowTheLast) {
  TServerPopup popup(TPopupMode::Servers, {Server(1, "x", "G"), Server(2, "y", "G"), Server(3, "z", "G")}, "G");
  EXPECT_EQ(popup.Selected(), -1);
  popup.TrackPointer(40, 0);
  EXPECT_EQ(popup.Selected(), 1);
  popup.TrackPointer(31, 0);
  EXPECT_EQ(popup.Selected(), 0);
  popup.TrackPointer(10, 2);  // scrolled: the third row is at the top
  EXPECT_EQ(popup.Selected(), 2);
  popup.TrackPointer(3 * 32 + 5, 0);
  EXPECT_EQ(popup.Selected(), -1);
  EXPECT_EQ(popup.Commit().kind, TServerPopup::TCommit::Nothing);
}

TEST(TServerPopup, RowColoursAndNewMark) {
  TServerPopup popup(
      TPopupMode::Servers,
      {Server(1, "new", "G", 1), Server(2, "old", "G", 0), Server(3, "rec", "G", TServerInfo::kRecommended)}, "G");
  EXPECT_EQ(popup.TextColour(0, false), 0xFFFFFF00u);
  EXPECT_EQ(popup.TextColour(1, false), 0xFFD2A311u);
  EXPECT_EQ(popup.TextColour(2, false), 0xFFFFFF00u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(popup.TextColour(i, true), 0xFFFFFFFFu);
  EXPECT_TRUE(popup.ShowsNewMark(0));
  EXPECT_FALSE(popup.ShowsNewMark(1));
  EXPECT_TRUE(popup.ShowsNewMark(2));

  // Group rows carry no record: gold, never marked.
  TServerPopup groups(TPopupMode::Groups, {Server(1, "new", "G", 2)}, "");
  EXPECT_EQ(groups.TextColour(0, false), 0xFFD2A311u);
  EXPECT_FALSE(groups.ShowsNewMark(0));
}

TEST(TServerPopup, CommitGivesTheSelectedServerOrGroup) {
  const std::vector<TServerName> names = {Server(7, "x", "G"), Server(8, "y", "G"), Server(9, "z", "H")};
  TServerPopup servers(TPopupMode::Servers, names, "G");
  servers.TrackPointer(33, 0);  // the second row
  TServerPopup::TCommit commit = servers.Commit();
  EXPECT_EQ(commit.kind, TServerPopup::TCommit::SelectServer);
  EXPECT_EQ(commit.server.id, 8);

  TServerPopup groups(TPopupMode::Groups, names, "");
  groups.Select(1);
  commit = groups.Commit();
  EXPECT_EQ(commit.kind, TServerPopup::TCommit::SelectMember);
  EXPECT_EQ(commit.member, "H");
  groups.Select(5);
  EXPECT_EQ(groups.Selected(), -1);
}

TEST(TServerPopup, RowsOutliveTheListTheyWereBuiltFrom) {
  auto names = std::make_unique<std::vector<TServerName>>();
  names->push_back(Server(11, "first", "G"));
  names->push_back(Server(12, "second", "G"));
  TServerPopup popup(TPopupMode::Servers, *names, "G");
  popup.Select(1);
  // A new list replaces the old one while the popup is open.
  names = std::make_unique<std::vector<TServerName>>();
  names->push_back(Server(99, "other", "G"));
  const TServerPopup::TCommit commit = popup.Commit();
  ASSERT_EQ(commit.kind, TServerPopup::TCommit::SelectServer);
  EXPECT_EQ(commit.server.id, 12);
  EXPECT_EQ(commit.server.name, u"second");
}

}  // namespace
}  // namespace lg
