#include "update/TUpdateLog.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "tests/support/TestSupport.h"

namespace lg {
namespace {

TEST(UpdateLog, StampHasFixedWidthFieldsAndATrailingBlank) {
  EXPECT_EQ(UpdateLogStamp(2025, 1, 4, 9, 5, 3, 7), "2025-01-04 09:05:03.007 ");
  EXPECT_EQ(UpdateLogStamp(1999, 12, 31, 23, 59, 59, 999), "1999-12-31 23:59:59.999 ");
}

TEST(UpdateLog, LinesAreStampedAndSavedWithCrLf) {
  test::TTempDir dir;
  TUpdateLog log;
  log.Log("first");
  log.Log("\xD5\xFD\xD4\xDA");  // GBK text is kept byte for byte
  log.SaveTo(dir.File("UpdateLog.txt"));
  const std::string text = test::ReadFileBytes(dir.File("UpdateLog.txt"));
  std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} first\r\n\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \xD5\xFD\xD4\xDA\r\n)");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST(UpdateLog, EmptyLogLeavesAnEarlierFileUntouched) {
  test::TTempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir.File("UpdateLog.txt"), "earlier run\r\n"));
  TUpdateLog log;
  log.SaveTo(dir.File("UpdateLog.txt"));
  EXPECT_EQ(test::ReadFileBytes(dir.File("UpdateLog.txt")), "earlier run\r\n");
}

TEST(UpdateLog, ConcurrentWritersLoseNoLine) {
  TUpdateLog log;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([&log, t] {
      for (int i = 0; i < 250; ++i) log.Log("w" + std::to_string(t) + "-" + std::to_string(i));
    });
  for (auto& w : writers) w.join();
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 1000u);
  for (const auto& l : lines) EXPECT_EQ(l.size() > 24 && l[23] == ' ', true) << l;
}

}  // namespace
}  // namespace lg
