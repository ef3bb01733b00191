// The update log that each update worker keeps and saves as "UpdateLog.txt"
// when it ends.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lg {

// "yyyy-mm-dd hh:nn:ss.zzz " for the given local time.
std::string UpdateLogStamp(int year, int month, int day, int hour, int minute, int second, int ms);

// The update worker's log. Log may be called from the worker and from the
// download and unpacking steps it runs; the lock makes each append atomic.
class TUpdateLog {
 public:
  // Appends a stamped line and mirrors it to the debug output.
  void Log(std::string_view text);
  // When at least one line exists, writes them to `path` (CR LF), replacing
  // any earlier file; a log without lines leaves the file untouched.
  // Failures to write are ignored.
  void SaveTo(const std::string& path);
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

}  // namespace lg
