// Fetches a 50 MB file from a local nginx with THttpGetDocument and with
// curl, best of three runs each, and prints both rates and their ratio.
// Needs nginx and curl on the PATH (Linux). Usage: bench_http_fetch [MB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Library/hDownload/THttpGetDocument.h"
#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestSupport.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
  const size_t size = static_cast<size_t>(megabytes) << 20;
  lg::test::TTempDir dir;
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
  lg::test::WriteFileBytes(dir.File("file.bin"), data);

  lg::test::TNginx nginx(dir.Path());
  if (!nginx.Started()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  const std::string url = nginx.Url("/file.bin");

  double ours = 1e9, curl = 1e9;
  bool ok = true;
  for (int run = 0; run < 3; ++run) {
    lg::THttpGetDocument fetch;
    const auto start = std::chrono::steady_clock::now();
    ok = fetch.Get(url, "") && fetch.Document().size() == size && ok;
    ours = std::min(ours, Seconds(std::chrono::steady_clock::now() - start));
    const auto c0 = std::chrono::steady_clock::now();
    ok = std::system(("curl -s -o /dev/null " + url).c_str()) == 0 && ok;
    curl = std::min(curl, Seconds(std::chrono::steady_clock::now() - c0));
  }
  const double mb = static_cast<double>(size) / (1 << 20);
  std::printf("document fetch: %.1f MB/s, curl: %.1f MB/s, ratio %.2f%s\n", mb / ours, mb / curl, curl / ours,
              ok ? "" : " (a fetch FAILED)");
  return ok ? 0 : 1;
}
