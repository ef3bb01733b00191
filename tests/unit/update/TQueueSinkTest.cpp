#include "update/TQueueSink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/TestSupport.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

TEST(TQueueSink, KeepsOrderAndTakesStatusTextsOver) {
  TQueueSink sink;
  sink.Post(WM_UPDATE_PROGRESS, 3, 10);
  PostStatusText(sink, "\xD5\xFD\xD4\xDA");
  sink.Post(WM_UPDATE_DONE, 1, 0);
  const auto held = sink.Messages();
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[0].Message, WM_UPDATE_PROGRESS);
  EXPECT_EQ(held[0].WParam, 3u);
  EXPECT_EQ(held[0].LParam, 10);
  EXPECT_EQ(held[1].Message, WM_UPDATE_STATUS);
  EXPECT_EQ(held[1].Text, "\xD5\xFD\xD4\xDA");
  EXPECT_EQ(held[1].WParam, 0u);  // the copy is freed, no dangling pointer kept
  ASSERT_EQ(sink.Of(WM_UPDATE_DONE).size(), 1u);
  EXPECT_TRUE(sink.Of(WM_UPDATE_ERROR).empty());

  const auto taken = sink.Take(0);
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[2].Message, WM_UPDATE_DONE);
  EXPECT_TRUE(sink.Messages().empty());
  EXPECT_TRUE(sink.Take(0).empty());
}

TEST(TQueueSink, TakeWaitsBoundedAndWakesOnPost) {
  TQueueSink sink;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(sink.Take(50).empty());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));

  std::thread poster([&sink] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sink.Post(WM_UPDATE_SPEED, 7, 8);
  });
  const auto woken = sink.Take(test::ScaledMs(10000));
  poster.join();
  ASSERT_EQ(woken.size(), 1u);
  EXPECT_EQ(woken[0].Message, WM_UPDATE_SPEED);
}

TEST(TQueueSink, ConcurrentPostersLoseNothing) {
  TQueueSink sink;
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&sink] {
      for (int i = 0; i < 200; ++i) PostStatusText(sink, "x");
    });
  size_t got = 0;
  for (int round = 0; round < 1000 && got < 800; ++round) got += sink.Take(10).size();
  for (auto& p : posters) p.join();
  got += sink.Take(0).size();
  EXPECT_EQ(got, 800u);
}

}  // namespace
}  // namespace lg
