#include "update/TUpdateState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "update/TQueueSink.h"
#include "update/UpdateMessages.h"
#include "update/json/TzqJSONstreamed.h"

namespace lg {
namespace {

struct TEntry {
  std::string File;
  std::string Hash;
  int Size = 0;
  bool Need = true;
  int IsLauncher = 0;
  bool IsZip = false;
};

class UpdateStateTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::ForceDirectories(dir_.File("data")); }

  // A manifest written as the update worker stores it.
  void WriteManifest(const std::vector<TEntry>& entries, int pass = 0) {
    std::string text = "[";
    for (const TEntry& e : entries) {
      text += "{\"File\":\"" + e.File + "\",\"Hash\":\"" + e.Hash + "\",\"Size\":" + std::to_string(e.Size) +
              ",\"Need\":" + (e.Need ? "true" : "false") + ",\"isLauncher\":" + std::to_string(e.IsLauncher) +
              ",\"IsZip\":" + (e.IsZip ? "true" : "false") + "},\n";
    }
    text += "]";
    WriteRaw(pass, text);
  }
  void WriteRaw(int pass, const std::string& text) {
    ASSERT_TRUE(test::WriteFileBytes(dir_.File("data/" + TUpdateState::ManifestName(pass)), text));
  }
  // A game file; returns its digest.
  std::string Install(const std::string& name, const std::string& content) {
    std::string path = dir_.File(name);
    size_t slash = path.find_last_of("/\\");
    plat::ForceDirectories(path.substr(0, slash));
    EXPECT_TRUE(test::WriteFileBytes(path, content));
    return Md5OfText(content);
  }
  std::unique_ptr<TUpdateState> NewState(int pass = 0) {
    return std::make_unique<TUpdateState>(dir_.Path(), "launcher.exe", pass, log_, sink_,
                                          [this] { return stop_.load(); });
  }
  // Load, compare: the first half of an update run.
  int Run(TUpdateState& state, TDownloadList& downloads) {
    EXPECT_TRUE(state.LoadUpdateJson());
    state.LoadLocalState();
    return state.CompareManifest(downloads);
  }
  std::vector<std::string> DownloadNames(const TDownloadList& list) {
    std::vector<std::string> names;
    for (const auto& r : list) names.push_back(r->FileName);
    return names;
  }
  bool LogMentions(const std::string& text) {
    for (const std::string& line : log_.Lines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  test::TTempDir dir_;
  TUpdateLog log_;
  TQueueSink sink_;
  std::atomic<bool> stop_{false};
};

TEST_F(UpdateStateTest, LoadUpdateJsonWantsANonEmptyList) {
  struct {
    const char* text;
    bool ok;
  } cases[] = {{"[1]", true}, {"\xEF\xBB\xBF[{}]", true}, {"[]", false}, {"{}", false}, {"\"x\"", false}, {"[", false}};
  auto state = NewState();
  EXPECT_FALSE(state->LoadUpdateJson()) << "no local copy";
  for (const auto& c : cases) {
    WriteRaw(0, c.text);
    EXPECT_EQ(state->LoadUpdateJson(), c.ok) << c.text;
    EXPECT_EQ(state->Manifest() != nullptr, c.ok) << c.text;
  }
  WriteRaw(1, "[{\"File\":\"x\"}]");
  EXPECT_TRUE(NewState(1)->LoadUpdateJson()) << "pass 1 reads updateL.json";
}

TEST(UpdateState, AManifestIsReceivedOnlyWithAFileInItsFirstEntry) {
  struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"[{\"File\":\"a\"}]", true},
      {"[{\"File\":\"a\"}, 5]", true},
      {"[{\"File\":\"\"}]", false},
      {"[{\"file\":\"a\"}]", false},
      {"[{\"File\":1}]", false},
      {"[5, {\"File\":\"a\"}]", false},
      {"{\"File\":\"a\"}", false},
      {"[]", false},
      {"junk", false},
  };
  for (const auto& c : cases) {
    auto doc = TzqJSONstreamed::ParseText(c.text);
    EXPECT_EQ(TUpdateState::IsReceivedManifest(doc.get()), c.ok) << c.text;
  }
}

TEST_F(UpdateStateTest, AllPresentIsZeroAndTheSecondRunReadsNoFile) {
  std::vector<TEntry> entries;
  for (int i = 0; i < 5; ++i) {
    std::string name = "data/f" + std::to_string(i) + ".dat";
    entries.push_back({name, Install(name, "content " + std::to_string(i)), 100 + i});
  }
  WriteManifest(entries);
  {
    auto state = NewState();
    TDownloadList downloads;
    EXPECT_EQ(Run(*state, downloads), 0);
    EXPECT_TRUE(downloads.empty());
    EXPECT_EQ(state->FilesHashed(), 5) << "present files without a record are hashed once";
    EXPECT_TRUE(state->Changed()) << "and adopted";
    EXPECT_EQ(state->BytesDone, 510);
    EXPECT_EQ(state->BytesTotal, 510);
    state->SaveLocalState();
  }
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  EXPECT_EQ(state->FilesHashed(), 0);
  EXPECT_FALSE(state->Changed());
  EXPECT_EQ(state->Table().Count(), 5);
}

TEST_F(UpdateStateTest, ResultFollowsTheShareOfBytesPresent) {
  struct {
    int present, missing, expected;
  } cases[] = {
      {10, 90, 1},  // exactly a tenth present
      {9, 91, 2},  {0, 5, 2}, {0, 0, 0}, {7, 0, 0},
  };
  for (const auto& c : cases) {
    test::TTempDir dir;
    plat::ForceDirectories(dir.File("data"));
    std::string present = Md5OfText("p");
    test::WriteFileBytes(dir.File("p.dat"), "p");
    std::string text = "[{\"File\":\"p.dat\",\"Hash\":\"" + present + "\",\"Size\":" + std::to_string(c.present) +
                       ",\"Need\":true},{\"File\":\"m.dat\",\"Hash\":\"" + present +
                       "\",\"Size\":" + std::to_string(c.missing) + ",\"Need\":true}]";
    test::WriteFileBytes(dir.File("data/update.json"), text);
    TUpdateState state(dir.Path(), "launcher.exe", 0, log_, sink_);
    TDownloadList downloads;
    ASSERT_TRUE(state.LoadUpdateJson());
    state.LoadLocalState();
    EXPECT_EQ(state.CompareManifest(downloads), c.expected) << c.present << "/" << c.missing;
    EXPECT_EQ(DownloadNames(downloads), std::vector<std::string>{"m.dat"});
  }
}

TEST_F(UpdateStateTest, MissingFilesAreListedInManifestOrderWithTheirFields) {
  WriteManifest({{"b.dat", "h1", 5, true, 0, true}, {"a\\\\c.dat", "h2", 7}});
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 2);
  ASSERT_EQ(downloads.size(), 2u);
  EXPECT_EQ(downloads[0]->FileName, "b.dat");
  EXPECT_EQ(downloads[0]->Hash, "h1");
  EXPECT_EQ(downloads[0]->SizeOrAge, 5);
  EXPECT_TRUE(downloads[0]->IsZip);
  EXPECT_EQ(downloads[1]->FileName, "a\\c.dat");
  EXPECT_FALSE(downloads[1]->IsZip);
  EXPECT_EQ(state->BytesTotal, 12);
  EXPECT_EQ(state->BytesDone, 0);
}

TEST_F(UpdateStateTest, AnEntryNotNeededTouchesNeitherTotalsNorTable) {
  test::WriteFileBytes(dir_.File("data/update0.local"), "gone.dat=abc-5\r\n");
  WriteManifest({{"gone.dat", "abc", 50, false}, {"x.dat", Install("x.dat", "x"), 3}});
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  EXPECT_TRUE(downloads.empty());
  EXPECT_EQ(state->BytesTotal, 3);
  ASSERT_NE(state->Record("gone.dat"), nullptr) << "the record of the missing file stays";
}

TEST_F(UpdateStateTest, ARecordDecidesWithoutReadingTheFile) {
  std::string good = Install("a.dat", "new content");
  int32_t stamp = plat::FileStamp(dir_.File("a.dat"));
  // Same stamp: the recorded digest stands, whatever the content.
  test::WriteFileBytes(dir_.File("data/update0.local"),
                       "A.DAT=" + Md5OfText("old") + "-" + std::to_string(stamp) + "\r\n");
  WriteManifest({{"a.dat", good, 10}});
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 2);
  EXPECT_EQ(state->FilesHashed(), 0);
  EXPECT_EQ(DownloadNames(downloads), std::vector<std::string>{"a.dat"});
  EXPECT_EQ(state->Record("a.dat"), nullptr) << "a record that does not match is dropped";
  EXPECT_TRUE(state->Changed());
}

// The comparison takes a file's presence from the state file's reading
// when it can: a recorded file that is gone must still be fetched, one that
// appears after the reading (the full package) counts, and a record added
// since (as the download step adds them) is checked on disk.
TEST_F(UpdateStateTest, PresenceLearnedFromTheStateFileDecidesLikeTheDisk) {
  std::string kept = Install("kept.dat", "kept");
  std::string added = Install("added.dat", "added");
  const std::string keptLine = "kept.dat=" + kept + "-" + std::to_string(plat::FileStamp(dir_.File("kept.dat")));
  test::WriteFileBytes(dir_.File("data/update0.local"), keptLine + "\r\ngone.dat=" + Md5OfText("gone") + "-123\r\n");
  WriteManifest({{"kept.dat", kept, 10}, {"gone.dat", Md5OfText("gone"), 10}, {"added.dat", added, 10}});
  auto state = NewState();
  ASSERT_TRUE(state->LoadUpdateJson());
  state->LoadLocalState();
  auto record = std::make_unique<TLocalFileInfo>();
  record->FileName = "added.dat";
  record->Hash = added;
  ASSERT_TRUE(state->Table().Add("added.dat", record.release()));
  TDownloadList downloads;
  EXPECT_EQ(state->CompareManifest(downloads), 1);
  EXPECT_EQ(DownloadNames(downloads), std::vector<std::string>{"gone.dat"});
  EXPECT_EQ(state->Record("gone.dat"), nullptr);
  EXPECT_NE(state->Record("added.dat"), nullptr);
  EXPECT_EQ(state->FilesHashed(), 0);

  // The same record with its file deleted: fetched again. The file that
  // was missing arrives: present now.
  std::filesystem::remove(dir_.File("added.dat"));
  Install("gone.dat", "gone");
  TDownloadList again;
  state->CompareManifest(again);
  EXPECT_EQ(DownloadNames(again), std::vector<std::string>{"added.dat"});
}

TEST_F(UpdateStateTest, AChangedStampMakesTheFileHashedAgain) {
  std::string good = Install("a.dat", "content");
  test::WriteFileBytes(dir_.File("data/update0.local"), "a.dat=" + Md5OfText("old") + "-12345\r\n");
  WriteManifest({{"a.dat", good, 10}});
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  EXPECT_EQ(state->FilesHashed(), 1);
  ASSERT_NE(state->Record("a.dat"), nullptr);
  EXPECT_EQ(state->Record("a.dat")->Hash, good);
  EXPECT_EQ(state->Record("a.dat")->SizeOrAge, plat::FileStamp(dir_.File("a.dat")));
  EXPECT_TRUE(state->Changed());
}

TEST_F(UpdateStateTest, AnUppercaseDigestNeverMatches) {
  std::string digest = Install("a.dat", "abc");
  std::string upper = digest;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  WriteManifest({{"a.dat", upper, 10}});
  for (int run = 0; run < 2; ++run) {
    auto state = NewState();
    TDownloadList downloads;
    EXPECT_EQ(Run(*state, downloads), 2) << run;
    EXPECT_EQ(downloads.size(), 1u) << run;
    state->SaveLocalState();
  }
}

TEST_F(UpdateStateTest, TheLauncherIsComparedThroughItsCompanion) {
  std::string exe = Install("launcher.exe", "launcher v2");
  WriteManifest({{"launcher.exe", exe, 10, true, 1}});
  {
    auto state = NewState();
    TDownloadList downloads;
    EXPECT_EQ(Run(*state, downloads), 2) << "no companion yet: downloaded once";
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_EQ(downloads[0]->FileName, "launcher.exe");
    EXPECT_EQ(downloads[0]->IsLauncher, 1);
  }
  Install("launcher.update", "launcher v2");
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  TLocalFileInfo* record = state->Record("LAUNCHER.update");
  ASSERT_NE(record, nullptr) << "keyed by the companion";
  EXPECT_EQ(record->FileName, "launcher.exe");
  EXPECT_EQ(record->IsLauncher, 1);
  EXPECT_EQ(state->Record("launcher.exe"), nullptr);
  auto status = sink_.Of(WM_UPDATE_STATUS);
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().Text, Gbk("校验文件：") + "launcher.update");
}

TEST_F(UpdateStateTest, ProgressIsPostedForEveryTenthEntryAndTheTotals) {
  std::vector<TEntry> entries;
  for (int i = 0; i < 25; ++i) entries.push_back({"f" + std::to_string(i), "h", 4});
  entries[10].Need = false;  // skipped entries post nothing
  WriteManifest(entries);
  auto state = NewState();
  TDownloadList downloads;
  Run(*state, downloads);
  std::vector<std::pair<uintptr_t, intptr_t>> progress;
  for (const auto& m : sink_.Of(WM_UPDATE_PROGRESS)) progress.emplace_back(m.WParam, m.LParam);
  EXPECT_EQ(progress, (std::vector<std::pair<uintptr_t, intptr_t>>{{1, 25}, {21, 25}, {0, 96}}));
  std::vector<std::string> texts;
  for (const auto& m : sink_.Of(WM_UPDATE_STATUS)) texts.push_back(m.Text);
  EXPECT_EQ(texts, (std::vector<std::string>{Gbk("校验文件：") + "f0", Gbk("校验文件：") + "f20"}));
  EXPECT_TRUE(LogMentions(Gbk("校验文件：") + "f20"));
}

TEST_F(UpdateStateTest, AKeyOfTheWrongKindRaises) {
  const char* manifests[] = {
      "[{\"File\":\"a\",\"Size\":\"12\",\"Need\":true}]",
      "[{\"File\":\"a\",\"isLauncher\":true,\"Need\":false}]",
      "[{\"File\":1,\"Need\":false}]",
      "[{\"File\":\"a\",\"Need\":1}]",
      "[{\"File\":\"a\",\"Need\":true,\"IsZip\":null}]",
      "[{\"File\":\"a\",\"Need\":true},[]]",
  };
  for (const char* m : manifests) {
    WriteRaw(0, m);
    auto state = NewState();
    TDownloadList downloads;
    EXPECT_THROW(Run(*state, downloads), EInvalidCast) << m;
  }
}

TEST_F(UpdateStateTest, NamesThatLeaveTheFolderAreNeverTouched) {
  test::TTempDir outside;
  // An existing file outside the launcher's folder that the entry names.
  test::WriteFileBytes(dir_.Path() + "../outside.dll", "x");
  WriteManifest({{"..\\\\outside.dll", Md5OfText("x"), 10},
                 {"C:\\\\Windows\\\\x.dll", "h", 10},
                 {"", "h", 10},
                 {"ok.dat", Install("ok.dat", "ok"), 5}});
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  EXPECT_TRUE(downloads.empty());
  EXPECT_EQ(state->BytesTotal, 5);
  EXPECT_EQ(state->FilesHashed(), 1) << "only ok.dat was read";
  EXPECT_TRUE(LogMentions("..\\outside.dll"));
  EXPECT_TRUE(LogMentions("C:\\Windows\\x.dll"));
  EXPECT_EQ(state->Record("..\\outside.dll"), nullptr);
  plat::DeleteFile(dir_.Path() + "../outside.dll");
}

TEST_F(UpdateStateTest, LocalStateLinesAreCheckedAndDeduplicated) {
  Install("a.dat", "a");
  int32_t stamp = plat::FileStamp(dir_.File("a.dat"));
  std::string s = std::to_string(stamp);
  test::WriteFileBytes(dir_.File("data/update0.local"), "a.dat=first-" + s + "\r\nA.DAT=second-" + s +
                                                            "\r\nmissing.dat=m-7\r\n" +
                                                            "..\\up.dat=u-1\r\nnohash=-5\r\nnostamp=h-\r\n");
  auto state = NewState();
  state->LoadLocalState();
  EXPECT_EQ(state->FilesHashed(), 0);
  ASSERT_EQ(state->Table().Count(), 3);
  EXPECT_EQ(state->Record("a.dat")->Hash, "first");
  EXPECT_EQ(state->Record("missing.dat")->SizeOrAge, 7) << "a missing file keeps its line unchanged";
  EXPECT_EQ(state->Record("nostamp")->SizeOrAge, 0);
  EXPECT_EQ(state->Record("nohash"), nullptr);
  EXPECT_EQ(state->Record("..\\up.dat"), nullptr);
  EXPECT_TRUE(LogMentions("..\\up.dat"));
  EXPECT_TRUE(state->Changed()) << "dropped lines make the file differ from the table";
  state->SaveLocalState();
  EXPECT_EQ(test::ReadFileBytes(dir_.File("data/update0.local")),
            "a.dat=first-" + s + "\r\nmissing.dat=m-7\r\nnostamp=h-0\r\n");
}

TEST_F(UpdateStateTest, AManifestNameInAnotherCaseFindsItsRecord) {
  std::string digest = Install("Data/Ui.dat", "ui");
  int32_t stamp = plat::FileStamp(dir_.File("Data/Ui.dat"));
  test::WriteFileBytes(dir_.File("data/update0.local"),
                       "Data\\Ui.dat=" + digest + "-" + std::to_string(stamp) + "\r\n");
  // The file system here is case-sensitive, so the manifest names the file
  // by the path that exists and the record differs in case.
  plat::ForceDirectories(dir_.File("DATA"));
  test::WriteFileBytes(dir_.File("DATA/UI.DAT"), "ui");
  WriteManifest({{"DATA\\\\UI.DAT", digest, 10}});
  auto state = NewState();
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  EXPECT_EQ(state->FilesHashed(), 0);
}

TEST_F(UpdateStateTest, SaveWritesRecordsInTheOrderOfAddingAndNothingWhenEmpty) {
  auto state = NewState();
  state->SaveLocalState();
  EXPECT_FALSE(plat::FileExists(dir_.File("data/update0.local")));
  std::string b = Install("b.dat", "b"), a = Install("a.dat", "a");
  WriteManifest({{"b.dat", b, 1}, {"a.dat", a, 1}});
  TDownloadList downloads;
  EXPECT_EQ(Run(*state, downloads), 0);
  // The data folder is created again when it went missing.
  std::filesystem::remove_all(std::filesystem::path(dir_.File("data")));
  state->SaveLocalState();
  std::string sb = std::to_string(plat::FileStamp(dir_.File("b.dat")));
  std::string sa = std::to_string(plat::FileStamp(dir_.File("a.dat")));
  EXPECT_EQ(test::ReadFileBytes(dir_.File("data/update0.local")),
            "b.dat=" + b + "-" + sb + "\r\na.dat=" + a + "-" + sa + "\r\n");
}

TEST_F(UpdateStateTest, AStopRequestEndsTheComparisonAtOnce) {
  WriteManifest({{"a.dat", "h", 10}, {"b.dat", "h", 10}});
  auto state = NewState();
  ASSERT_TRUE(state->LoadUpdateJson());
  stop_ = true;
  TDownloadList downloads;
  EXPECT_EQ(state->CompareManifest(downloads), 0);
  EXPECT_TRUE(downloads.empty());
  EXPECT_TRUE(sink_.Messages().empty());
}

}  // namespace
}  // namespace lg
