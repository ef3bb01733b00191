// Publishes a generated folder of N files (default 20,000, 1 KiB each, 100
// per folder) twice into a fresh web root and prints both times, the files
// hashed and the bytes read by each run, and the ratio of the two times.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/Platform.h"
#include "tests/support/TestSupport.h"
#include "tools/launcher-publish/TPublisher.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  lg::test::TTempDir dir;
  const std::string src = dir.Path() + "game";
  std::string content(1024, 'x');
  for (int i = 0; i < count; ++i) {
    const std::string folder = src + "/data/d" + std::to_string(i / 100);
    if (i % 100 == 0) lg::plat::ForceDirectories(folder);
    content[0] = static_cast<char>(i);
    content[1] = static_cast<char>(i >> 8);
    if (!lg::test::WriteFileBytes(folder + "/f" + std::to_string(i) + ".dat", content)) return 1;
  }
  lg::publish::TPublishOptions options;
  options.SourceDir = src;
  options.WebRoot = dir.Path() + "www";
  double times[3] = {};
  for (int run = 1; run <= 2; ++run) {
    std::ostringstream sink;
    lg::publish::TPublisher publisher(options, sink);
    const auto start = std::chrono::steady_clock::now();
    const bool ok = publisher.Run();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const auto& s = publisher.Stats();
    std::printf("run %d: %s %.1f ms, %d files, %d hashed, %d written, %d unchanged, %lld bytes read\n", run,
                ok ? "ok" : "FAILED", ms, s.Files, s.Hashed, s.Written, s.Unchanged,
                static_cast<long long>(s.BytesRead));
    if (!ok) return 1;
    times[run] = ms;
  }
  std::printf("second run / first run: %.3f\n", times[2] / times[1]);
  return 0;
}
