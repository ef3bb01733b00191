#include "launch/TClientWatch.h"

#include <gtest/gtest.h>

#include <map>

namespace lg {
namespace {

constexpr uint32_t kStillActive = 259;

class ClientWatch : public ::testing::Test {
 protected:
  // Declared before the watch: its destructor releases the handles it still
  // holds through the callbacks below.
  std::map<intptr_t, uint32_t> codes;
  std::vector<intptr_t> released;
  TClientWatch watch{[this](intptr_t h, uint32_t& code) {
                       auto it = codes.find(h);
                       if (it == codes.end()) return false;
                       code = it->second;
                       return true;
                     },
                     [this](intptr_t h) { released.push_back(h); }};

  std::vector<int32_t> Ids() const {
    std::vector<int32_t> ids;
    for (const ClientRecord& r : watch.Records()) ids.push_back(r.ServerId);
    return ids;
  }
};

TEST_F(ClientWatch, RunningAndFailedClientsKeepTheirRecords) {
  codes = {{11, kStillActive}, {12, 3}, {13, 1}};
  watch.Add(1, 11);
  watch.Add(2, 12);
  watch.Add(3, 13);
  for (int tick = 0; tick < 5; ++tick) EXPECT_EQ(watch.Tick(true), TClientWatch::TTick::KeepWatching);
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(released.empty());
}

TEST_F(ClientWatch, OneRecordPerTickFromTheLast) {
  codes = {{11, 0}, {12, kStillActive}, {13, 0}};
  watch.Add(1, 11);
  watch.Add(2, 12);
  watch.Add(3, 13);
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::KeepWatching);
  EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::KeepWatching);
  EXPECT_EQ(Ids(), (std::vector<int32_t>{2}));
  EXPECT_EQ(released, (std::vector<intptr_t>{13, 11}));
  codes[12] = 0;
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::StopTimer);
  EXPECT_TRUE(watch.Records().empty());
}

TEST_F(ClientWatch, AThreadThatCannotBeAskedEndsItsWatch) {
  watch.Add(5, 99);  // no exit code known for 99
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::StopTimer);
  EXPECT_EQ(released, std::vector<intptr_t>{99});
}

TEST_F(ClientWatch, RecordsWithoutAHandleAreSkipped) {
  watch.Add(7, 0);
  watch.Add(8, -1);
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::KeepWatching);
  EXPECT_EQ(watch.Records().size(), 2u);
}

TEST_F(ClientWatch, EmptyListStopsTheTimerOrClosesAHiddenLauncher) {
  EXPECT_EQ(watch.Tick(false), TClientWatch::TTick::StopTimer);
  EXPECT_EQ(watch.Tick(true), TClientWatch::TTick::CloseWindow);
  codes = {{21, 0}};
  watch.Add(4, 21);
  EXPECT_EQ(watch.Tick(true), TClientWatch::TTick::CloseWindow);
}

TEST_F(ClientWatch, ClearReleasesEveryHandle) {
  codes = {{31, kStillActive}, {32, kStillActive}};
  watch.Add(1, 31);
  watch.Add(2, 32);
  watch.Clear();
  EXPECT_TRUE(watch.Records().empty());
  EXPECT_EQ(released, (std::vector<intptr_t>{31, 32}));
}

}  // namespace
}  // namespace lg
