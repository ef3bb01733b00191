#include "ui/TLatestBox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/Gbk.h"
#include "servers/TServerConfig.h"
#include "servers/TServerPopup.h"
#include "ui/TMainWindowModel.h"

namespace lg {
namespace {

struct TCounted {
  static inline std::atomic<int> alive{0};
  int value;
  explicit TCounted(int v) : value(v) { ++alive; }
  ~TCounted() { --alive; }
};

TEST(TLatestBox, KeepsTheNewestAndFreesWhatIsReplacedOrRefused) {
  int wakes = 0;
  {
    TLatestBox<TCounted> box([&] { ++wakes; });
    EXPECT_TRUE(box.Put(std::make_unique<TCounted>(1)));
    EXPECT_TRUE(box.Put(std::make_unique<TCounted>(2)));
    EXPECT_EQ(TCounted::alive, 1);
    auto taken = box.Take();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->value, 2);
    EXPECT_FALSE(box.Take());
    EXPECT_TRUE(box.Put(std::make_unique<TCounted>(3)));
    box.Close();
    EXPECT_EQ(TCounted::alive, 1);  // only `taken`
    EXPECT_FALSE(box.Put(std::make_unique<TCounted>(4)));
    EXPECT_FALSE(box.Take());
  }
  EXPECT_EQ(wakes, 3);
  EXPECT_EQ(TCounted::alive, 0);
}

// The UDP thread reads replies and hands them over while the window's
// thread applies them and opens and commits popups; run under ASan and TSan
// this shows that no record is shared between the threads.
TEST(TLatestBox, RepliesFromAWorkerNeverReachFreedRecords) {
  TServerConfig config(nullptr, [](const std::string& host) { return host; });
  std::atomic<int> wakes{0};
  TLatestBox<TServerListResult> box([&] { ++wakes; });
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    for (int i = 0; !stop && i < 400; ++i) {
      std::string doc = "{\"server\":[";
      for (int k = 0; k < 1 + i % 7; ++k)
        doc += (k ? "," : "") + std::string("{\"id\":") + std::to_string(i * 10 + k) + ",\"name\":\"s" +
               std::to_string(k) + "\",\"member\":\"g" + std::to_string(k % 2) + "\"}";
      doc += "]}";
      box.Put(ReadServerList(config, Gbk(doc), i * 10));
    }
  });
  uint32_t now = 1;
  TMainWindowModel model([&] { return now; }, [] { return true; });
  int applied = 0;
  std::unique_ptr<TServerPopup> popup;
  for (int round = 0; round < 20000 && (applied < 50 || wakes < 400); ++round) {
    if (auto result = box.Take()) {
      model.ApplyServerList(*result);
      ++applied;
    }
    if (round % 3 == 0)
      popup = std::make_unique<TServerPopup>(TPopupMode::Servers, model.ServerNames(), model.CurrentMember());
    if (popup && popup->Count() > 0) {
      popup->Select(popup->Count() - 1);
      const auto commit = popup->Commit();
      ASSERT_EQ(commit.kind, TServerPopup::TCommit::SelectServer);
      model.SelectServer(commit.server);
      EXPECT_EQ(model.CurrentMember(), commit.server.member);
    }
    if (wakes >= 400 && !box.Take()) break;
    std::this_thread::yield();
  }
  stop = true;
  worker.join();
  box.Close();
  EXPECT_GT(applied, 0);
  EXPECT_EQ(wakes.load(), 400);
}

}  // namespace
}  // namespace lg
