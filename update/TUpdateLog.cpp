#include "update/TUpdateLog.h"

#include <cstdio>

#include "common/FileStream.h"
#include "common/Platform.h"

namespace lg {

std::string UpdateLogStamp(int year, int month, int day, int hour, int minute, int second, int ms) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", year, month, day, hour, minute, second, ms);
  return buf;
}

void TUpdateLog::Log(std::string_view text) {
  plat::LocalTime t = plat::Now();
  std::string line = UpdateLogStamp(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
  line.append(text);
  std::lock_guard<std::mutex> guard(lock_);
  lines_.push_back(line);
  plat::DebugOutput(line);
}

void TUpdateLog::SaveTo(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  if (lines_.empty()) return;
  std::string text;
  for (const std::string& line : lines_) text.append(line).append("\r\n");
  plat::WriteWholeFile(path, text);
}

std::vector<std::string> TUpdateLog::Lines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

}  // namespace lg
