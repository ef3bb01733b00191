#include "Library/hDownload/TJobThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/Platform.h"

namespace lg {
namespace {

TEST(TJobThreads, JobsOneAfterAnotherShareOneThread) {
  TJobThreads threads;
  std::thread::id first;
  for (int i = 0; i < 20; ++i) {
    std::thread::id ran;
    TJobThreads::TJob job = threads.Run([&] { ran = std::this_thread::get_id(); });
    job.Join();
    EXPECT_FALSE(job.Joinable());
    if (i == 0) first = ran;
    EXPECT_EQ(ran, first) << i;
    EXPECT_NE(ran, std::this_thread::get_id());
  }
  EXPECT_EQ(threads.StartedCount(), 1u);
}

TEST(TJobThreads, JoinWaitsForTheJobAndItsCaptures) {
  TJobThreads threads;
  auto alive = std::make_shared<int>(1);
  std::atomic<bool> finished{false};
  {
    TJobThreads::TJob job = threads.Run([&finished, alive] {
      plat::SleepMs(100);
      finished = true;
    });
  }  // destroying the handle joins
  EXPECT_TRUE(finished.load());
  EXPECT_EQ(alive.use_count(), 1);  // the job's copy is gone
}

TEST(TJobThreads, JobsSideBySideGetThreadsOfTheirOwn) {
  TJobThreads threads;
  std::atomic<int> inside{0};
  std::atomic<bool> release{false};
  std::vector<TJobThreads::TJob> jobs;
  for (int i = 0; i < 6; ++i)
    jobs.push_back(threads.Run([&] {
      ++inside;
      for (int n = 0; n < 500 && !release; ++n) plat::SleepMs(10);
    }));
  for (int n = 0; n < 500 && inside < 6; ++n) plat::SleepMs(10);
  EXPECT_EQ(inside.load(), 6);  // none waits for another to end
  release = true;
  jobs.clear();
  EXPECT_EQ(threads.StartedCount(), 6u);
  EXPECT_EQ(threads.IdleCount(), 6u);
  // Six more reuse them all.
  for (int i = 0; i < 6; ++i) jobs.push_back(threads.Run([] {}));
  jobs.clear();
  EXPECT_EQ(threads.StartedCount(), 6u);
}

TEST(TJobThreads, ThreadsBeyondTheIdleLimitEnd) {
  TJobThreads threads;
  const int count = static_cast<int>(TJobThreads::kMaxIdle) + 4;
  std::atomic<int> inside{0};
  std::atomic<bool> release{false};
  std::vector<TJobThreads::TJob> jobs;
  for (int i = 0; i < count; ++i)
    jobs.push_back(threads.Run([&] {
      ++inside;
      for (int n = 0; n < 500 && !release; ++n) plat::SleepMs(10);
    }));
  for (int n = 0; n < 500 && inside < count; ++n) plat::SleepMs(10);
  release = true;
  jobs.clear();
  EXPECT_EQ(threads.IdleCount(), TJobThreads::kMaxIdle);
}

TEST(TJobThreads, JoinOnTheJobsOwnThreadReturns) {
  TJobThreads threads;
  TJobThreads::TJob job;
  std::atomic<bool> ready{false}, joined{false};
  job = threads.Run([&] {
    for (int n = 0; n < 500 && !ready; ++n) plat::SleepMs(2);
    job.Join();  // a worker ending itself must not wait for itself
    joined = true;
  });
  ready = true;
  for (int n = 0; n < 500 && !joined; ++n) plat::SleepMs(10);
  EXPECT_TRUE(joined.load());
  job.Join();
}

}  // namespace
}  // namespace lg
