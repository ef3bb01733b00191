// Helpers shared by the test suites.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lg::test {

// A fresh empty folder under the system's temporary folder, removed with
// everything in it when the object goes. Path() ends with a separator.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }
  // Path() + name.
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Timeouts of tests scale with LG_TEST_TIMEOUT_SCALE (a number, default 1),
// raised for slow hosts such as Wine or sanitizer builds.
int ScaledMs(int ms);

// Polls `condition` every few milliseconds: true as soon as it holds, false
// once ScaledMs(ms) have passed without it.
bool WaitUntil(const std::function<bool()>& condition, int ms);

bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

// True when the tests run as a Windows program (natively or under Wine).
bool IsWindowsBuild();

}  // namespace lg::test
