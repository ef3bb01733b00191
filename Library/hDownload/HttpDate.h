// HTTP date texts: RFC 822/1123 ("Sun, 06 Nov 1994 08:49:37 GMT"), RFC 850
// ("Sunday, 06-Nov-94 08:49:37 GMT") and the C library's asctime form
// ("Sun Nov  6 08:49:37 1994"), decoded to local time as a day number (days
// since 1899-12-30, the time of day as the fraction). Pure functions apart
// from LocalZoneOffset; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lg {

// Minutes east of UTC of the machine's zone now (daylight saving included).
int LocalZoneOffset();

// An upper-case zone token: "+hhmm"/"-hhmm" or a name of the zone table.
// "-0000" means local time (`localOffset`); a signed token of four
// characters or fewer is taken as no shift.
bool DecodeTimeZone(std::string_view token, int& minutes, int localOffset);
// 1..12 for "Jan".."Dec" in any letter case, else 0.
int MonthNumber(std::string_view token);
// "hh:mm:ss" (anything two characters after the last colon cut off) as a
// fraction of a day; -1 when it is not a 24-hour time.
double DecodeTimeOfDay(std::string_view token);

// The date of `text` in the zone `localOffset` (minutes east of UTC); 0 for
// an empty text. Unknown words are ignored, missing parts default to
// 1980-01-01 00:00, an impossible day is cut to the month's last day.
double DecodeHttpDate(std::string_view text, int localOffset);
inline double DecodeHttpDate(std::string_view text) {
  return DecodeHttpDate(text, LocalZoneOffset());
}

// Day number of a calendar date (1899-12-30 is 0).
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second);

// The day number as a Windows file time (100 ns units since 1601-01-01, same
// wall clock, no zone conversion); 0 outside the years 1601..9999.
int64_t DateTimeToFileTime(double dateTime);

}  // namespace lg
