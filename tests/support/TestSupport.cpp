#include "tests/support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "common/FileStream.h"
#include "common/Platform.h"

namespace lg::test {

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto dir = base / ("lgtest-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (std::filesystem::create_directory(dir, ec)) {
      path_ = dir.string() + static_cast<char>(std::filesystem::path::preferred_separator);
      return;
    }
  }
  std::abort();
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(path_), ec);
}

int ScaledMs(int ms) {
  static const double scale = [] {
    std::string v = plat::GetEnv("LG_TEST_TIMEOUT_SCALE");
    double s = v.empty() ? 1.0 : std::atof(v.c_str());
    return s > 0 ? s : 1.0;
  }();
  return static_cast<int>(ms * scale);
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ScaledMs(ms));
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    plat::SleepMs(2);
  }
  return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  plat::TFileStream file;
  return file.Open(path, plat::TFileStream::Mode::Create) && file.Write(bytes.data(), bytes.size());
}

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  plat::ReadWholeFile(path, out);
  return out;
}

bool IsWindowsBuild() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

}  // namespace lg::test
