#include "Library/hDownload/HttpDate.h"

#include <cmath>
#include <ctime>
#include <mutex>

#include "Library/hDownload/WebText.h"
#include "common/Decimal.h"

namespace lg {
namespace {

struct ZoneName {
  const char* name;
  int hours;
};

// Note BST -1, CST -6, EET +2 and EAST -10: the table the content servers'
// dates have always been read with.
constexpr ZoneName kZones[] = {
    {"NZDT", 13},  {"IDLE", 12}, {"NZST", 12},  {"NZT", 12}, {"EADT", 11}, {"GST", 10},   {"JST", 9},   {"CCT", 8},
    {"WADT", 8},   {"WAST", 7},  {"ZP6", 6},    {"ZP5", 5},  {"ZP4", 4},   {"BT", 3},     {"EET", 2},   {"MEST", 2},
    {"MESZ", 2},   {"SST", 2},   {"FST", 2},    {"CEST", 2}, {"CET", 1},   {"FWT", 1},    {"MET", 1},   {"MEWT", 1},
    {"SWT", 1},    {"UT", 0},    {"UTC", 0},    {"GMT", 0},  {"WET", 0},   {"WAT", -1},   {"BST", -1},  {"AT", -2},
    {"ADT", -3},   {"AST", -4},  {"EDT", -4},   {"EST", -5}, {"CDT", -5},  {"CST", -6},   {"MDT", -6},  {"MST", -7},
    {"PDT", -7},   {"PST", -8},  {"YDT", -8},   {"YST", -9}, {"HDT", -9},  {"AHST", -10}, {"CAT", -10}, {"HST", -10},
    {"EAST", -10}, {"NT", -11},  {"IDLW", -12},
};

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr int64_t kDaysFrom1601To1899 = 109205;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The whole token as a decimal int32 (an optional sign), else `fallback`.
int ToInt(std::string_view s, int fallback) {
  int64_t v = 0;
  if (!ParseDecimal(s, TDecimalSign::Allowed, 2147483648LL, v) || v > INT32_MAX) return fallback;
  return static_cast<int>(v);
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

// The token before the first blank, and the rest after it, both trimmed.
std::string NextToken(std::string& text) {
  const size_t blank = text.find(' ');
  std::string token = TrimText(text.substr(0, blank));
  text = blank == std::string::npos ? std::string() : TrimText(text.substr(blank + 1));
  return token;
}

}  // namespace

int LocalZoneOffset() {
  static std::mutex lock;  // localtime and gmtime share static results
  const std::time_t now = std::time(nullptr);
  std::tm local{}, utc{};
  {
    std::lock_guard<std::mutex> guard(lock);
    const std::tm* l = std::localtime(&now);
    const std::tm* u = std::gmtime(&now);
    if (!l || !u) return 0;
    local = *l;
    utc = *u;
  }
  auto seconds = [](const std::tm& t) {
    return DaysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) * 86400 + t.tm_hour * 3600 + t.tm_min * 60 +
           t.tm_sec;
  };
  return static_cast<int>((seconds(local) - seconds(utc)) / 60);
}

bool DecodeTimeZone(std::string_view token, int& minutes, int localOffset) {
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
    if (token == "-0000") {
      minutes = localOffset;
    } else if (token.size() > 4) {
      const int hours = ToInt(token.substr(1, 2), 0);
      const int mins = ToInt(token.substr(3, 2), 0);
      minutes = hours * 60 + mins;
      if (token[0] == '-') minutes = -minutes;
    } else {
      minutes = 0;
    }
    return true;
  }
  for (const ZoneName& z : kZones) {
    if (token == z.name) {
      minutes = z.hours * 60;
      return true;
    }
  }
  return false;
}

int MonthNumber(std::string_view token) {
  const std::string upper = Upper(token);
  for (int i = 0; i < 12; ++i)
    if (upper == Upper(kMonths[i])) return i + 1;
  return 0;
}

double DecodeTimeOfDay(std::string_view token) {
  std::string s(token);
  const size_t lastColon = s.rfind(':');
  if (lastColon != std::string::npos && s.size() - lastColon - 1 > 2) s.resize(lastColon + 3);
  int parts[3] = {0, 0, 0};
  int count = 0;
  size_t start = 0;
  for (;;) {
    const size_t colon = s.find(':', start);
    const std::string_view piece =
        std::string_view(s).substr(start, colon == std::string::npos ? colon : colon - start);
    if (count == 3 || piece.empty() || piece.size() > 2) return -1;
    const int v = ToInt(piece, -1);
    if (v < 0 || piece[0] == '+' || piece[0] == '-') return -1;
    parts[count++] = v;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return -1;
  return (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
}

namespace {

// A day number from a point on a linear day scale: before 1899-12-30 the
// whole part is the date and the fraction's size the time of day.
double FromLinearDays(double linear) {
  if (linear >= 0) return linear;
  const double date = std::floor(linear);
  const double time = linear - date;
  return time == 0 ? date : date - time;
}

}  // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  const int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
  return FromLinearDays(static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0);
}

double DecodeHttpDate(std::string_view input, int localOffset) {
  if (input.empty()) return 0;
  // Dashes inside dates become blanks; a minus sign after a blank survives.
  std::string text = ReplaceAll(ReplaceAll(ReplaceAll(input, " -", " #"), "-", " "), " #", " -");
  int day = 0, month = 0, year = 0, zone = 0;
  double time = 0;
  int tokens = 0;
  while (!text.empty() && tokens++ < 10000) {
    const std::string token = Upper(NextToken(text));
    int minutes = 0;
    if (DecodeTimeZone(token, minutes, localOffset)) {
      zone = minutes;
      continue;
    }
    const int n = ToInt(token, 0);
    if (n > 0 && n < 32 && day == 0) {
      day = n;
    } else if (n > 0 && year == 0 && (month != 0 || n > 12)) {
      year = n;
      if (year < 32) year += 2000;
      if (year < 1000) year += 1900;
    } else if (token.find(':') != token.rfind(':')) {
      const double t = DecodeTimeOfDay(token);
      if (t != -1) time = t;
    } else if (token == "DST") {
      zone += 60;
    } else {
      const int m = MonthNumber(token);
      if (m > 0 && month == 0) month = m;
    }
  }
  if (year == 0) year = 1980;
  if (year > 9999) year = 9999;  // beyond what a day number is used for
  if (month == 0) month = 1;
  if (month > 12) month = 12;
  if (day == 0) day = 1;
  if (day > DaysInMonth(year, month)) day = DaysInMonth(year, month);
  // Shift from the text's zone to the local one on a linear scale.
  const int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
  const int64_t shift = static_cast<int64_t>(zone) - localOffset;
  return FromLinearDays(static_cast<double>(days) + time - static_cast<double>(shift) / 1440.0);
}

int64_t DateTimeToFileTime(double dateTime) {
  if (!std::isfinite(dateTime)) return 0;
  // The day number's whole part is the date, its fraction's size the time
  // of day, also for days before 1899-12-30.
  const double whole = std::trunc(dateTime);
  if (whole < -static_cast<double>(kDaysFrom1601To1899) || whole > 2958465.0) return 0;
  const int64_t days = static_cast<int64_t>(whole) + kDaysFrom1601To1899;
  int64_t ms = std::llround(std::fabs(dateTime - whole) * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  return (days * 86400000 + ms) * 10000;
}

}  // namespace lg
