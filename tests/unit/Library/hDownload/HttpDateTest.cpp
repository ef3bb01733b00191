#include "Library/hDownload/HttpDate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lg {
namespace {

constexpr int kUtc8 = 8 * 60;

// Whole seconds, to compare day numbers without rounding noise.
int64_t Seconds(double dayNumber) {
  return std::llround(dayNumber * 86400.0);
}

struct DateRow {
  const char* text;
  int localOffset;
  int year, month, day, hour, minute, second;
};

TEST(DecodeHttpDate, TheThreeFormsAndTheirDefaults) {
  const DateRow rows[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kUtc8, 1994, 11, 6, 16, 49, 37},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kUtc8, 1994, 11, 6, 16, 49, 37},
      {"Sun Nov  6 08:49:37 1994", 0, 1994, 11, 6, 8, 49, 37},  // asctime has no zone: as UTC
      {"Sun, 06 Nov 1994 08:49:37 GMT", 0, 1994, 11, 6, 8, 49, 37},
      {"Sun, 06 Nov 1994 08:49:37 GMT", -300, 1994, 11, 6, 3, 49, 37},
      {"06 Nov 08 10:00:00 +0200", 0, 2008, 11, 6, 8, 0, 0},
      {"06 Nov 08 10:00:00 -0130", 0, 2008, 11, 6, 11, 30, 0},
      {"10:00:00 GMT", 0, 1980, 1, 1, 10, 0, 0},
      {"31 Feb 2001 12:00:00 GMT", 0, 2001, 2, 28, 12, 0, 0},
      {"29 Feb 2000 12:00:00 GMT", 0, 2000, 2, 29, 12, 0, 0},
      {"Mon, 01 Jan 2001 00:30:00 CST", 0, 2001, 1, 1, 6, 30, 0},  // CST is -6 in this table
      {"Mon, 01 Jan 2001 00:30:00 BST", 0, 2001, 1, 1, 1, 30, 0},  // BST is -1
      {"Mon, 01 Jan 2001 12:00:00 EST DST", 0, 2001, 1, 1, 16, 0, 0},
      {"Mon, 01 Jan 2001 12:00:00 -0000", kUtc8, 2001, 1, 1, 12, 0, 0},  // local time
      {"Mon, 01 Jan 2001 12:00:00 +5", 0, 2001, 1, 1, 12, 0, 0},         // short signed zone: no shift
      {"Mon, 01 Jan 2001 12:00:00.25 GMT", 0, 2001, 1, 1, 12, 0, 0},
      {"Mon, 01 Jan 2001 12:00:00GMT", 0, 2001, 1, 1, 12, 0, 0},
      {"Mon, 01 Jan 2001 25:00:00 GMT", 0, 2001, 1, 1, 0, 0, 0},  // a bad time is skipped
      {"garbage words only", 0, 1980, 1, 1, 0, 0, 0},
  };
  for (const DateRow& r : rows) {
    const double expected = EncodeDateTime(r.year, r.month, r.day, r.hour, r.minute, r.second);
    EXPECT_EQ(Seconds(DecodeHttpDate(r.text, r.localOffset)), Seconds(expected)) << r.text;
  }
  EXPECT_EQ(DecodeHttpDate("", kUtc8), 0);
}

TEST(DecodeHttpDate, ZoneTokens) {
  int minutes = 0;
  EXPECT_TRUE(DecodeTimeZone("+0200", minutes, 0));
  EXPECT_EQ(minutes, 120);
  EXPECT_TRUE(DecodeTimeZone("-0930", minutes, 0));
  EXPECT_EQ(minutes, -570);
  EXPECT_TRUE(DecodeTimeZone("-0000", minutes, 480));
  EXPECT_EQ(minutes, 480);
  EXPECT_TRUE(DecodeTimeZone("NZDT", minutes, 0));
  EXPECT_EQ(minutes, 13 * 60);
  EXPECT_TRUE(DecodeTimeZone("EAST", minutes, 0));
  EXPECT_EQ(minutes, -600);
  EXPECT_TRUE(DecodeTimeZone("EET", minutes, 0));
  EXPECT_EQ(minutes, 120);
  EXPECT_TRUE(DecodeTimeZone("IDLW", minutes, 0));
  EXPECT_EQ(minutes, -720);
  EXPECT_FALSE(DecodeTimeZone("gmt", minutes, 0));  // the caller upper-cases
  EXPECT_FALSE(DecodeTimeZone("XYZ", minutes, 0));
}

TEST(DecodeHttpDate, MonthsAndTimesOfDay) {
  EXPECT_EQ(MonthNumber("jan"), 1);
  EXPECT_EQ(MonthNumber("DEC"), 12);
  EXPECT_EQ(MonthNumber("Sun"), 0);
  EXPECT_EQ(Seconds(DecodeTimeOfDay("08:49:37")), 8 * 3600 + 49 * 60 + 37);
  EXPECT_EQ(Seconds(DecodeTimeOfDay("8:5:7")), 8 * 3600 + 5 * 60 + 7);
  EXPECT_EQ(DecodeTimeOfDay("24:00:00"), -1);
  EXPECT_EQ(DecodeTimeOfDay("a:b:c"), -1);
  EXPECT_EQ(DecodeTimeOfDay("1:2:3:4"), -1);
}

TEST(DateTimeToFileTime, KnownInstantsAndLimits) {
  // 1970-01-01 is 11644473600 s after 1601-01-01.
  EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(1970, 1, 1, 0, 0, 0)), 116444736000000000LL);
  EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(1601, 1, 1, 0, 0, 1)), 10000000LL);
  EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(1600, 12, 31, 0, 0, 0)), 0);
  EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(10000, 1, 1, 0, 0, 0)), 0);
  EXPECT_EQ(DateTimeToFileTime(NAN), 0);
}

TEST(LocalZoneOffset, IsAWholeZoneWithinTheWorldsRange) {
  const int offset = LocalZoneOffset();
  EXPECT_GE(offset, -12 * 60);
  EXPECT_LE(offset, 14 * 60);
  EXPECT_EQ(offset % 15, 0);
}

}  // namespace
}  // namespace lg
