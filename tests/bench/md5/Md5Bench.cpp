// MD5 of a large file in the page cache: our digest against md5sum on the
// same file, measured in the same run. Prints throughput and the ratio.
//   bench_md5 [size-in-MiB=1024] [runs=3]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/FileStream.h"
#include "common/Md5.h"

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string RunMd5sum(const std::string& path, double& seconds) {
  auto start = std::chrono::steady_clock::now();
  std::string cmd = "md5sum '" + path + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return {};
  char buf[128] = {};
  std::string out = fgets(buf, sizeof buf, p) ? std::string(buf, 32) : std::string();
  pclose(p);
  seconds = Seconds(start);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 1024;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string path = "/tmp/lg-bench-md5.bin";
  {
    lg::plat::TFileStream f;
    if (!f.Open(path, lg::plat::TFileStream::Mode::Create)) return 1;
    std::string block(1 << 20, '\0');
    for (long i = 0; i < mib; ++i) {
      for (size_t j = 0; j < block.size(); j += 64) block[j] = static_cast<char>(i * 131 + j);
      if (!f.Write(block.data(), block.size())) return 1;
    }
  }
  double ours = 1e9, theirs = 1e9;
  std::string a, b;
  for (int r = 0; r < runs; ++r) {  // best of N, the first run also warms the cache
    auto start = std::chrono::steady_clock::now();
    a = lg::Md5OfFile(path);
    ours = std::min(ours, Seconds(start));
    double s = 0;
    b = RunMd5sum(path, s);
    theirs = std::min(theirs, s);
  }
  std::remove(path.c_str());
  const double mb = static_cast<double>(mib) * 1048576.0 / 1e6;
  std::printf("file: %ld MiB, best of %d runs\n", mib, runs);
  std::printf("ours:   %8.1f MB/s  %s\n", mb / ours, a.c_str());
  std::printf("md5sum: %8.1f MB/s  %s\n", mb / theirs, b.c_str());
  std::printf("ratio ours/md5sum: %.2f%s\n", theirs / ours, a == b ? "" : "  DIGESTS DIFFER");
  return a == b ? 0 : 1;
}
