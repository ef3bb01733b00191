// Fetches a 50 MB JSON document that a local nginx sends gzip-encoded (or,
// with "plain", as it is), with THttpGetDocument and with curl, best of
// five runs each in alternating order, and prints both times and their
// ratio. Needs nginx and curl (Linux).
// Usage: bench_http_fetch [MB] [plain]
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
  const bool plain = argc > 2 && std::string(argv[2]) == "plain";
  lg::test::TTempDir dir;
  // A manifest-like document: what the launcher fetches, only larger.
  std::string data = "[";
  for (int i = 0; data.size() < size; ++i) {
    char entry[200];
    std::snprintf(entry, sizeof entry,
                  "%s{\"File\":\"data\\\\pack%05d\\\\file%06d.dat\",\"Hash\":\"%08x%08x%08x%08x\",\"Size\":%d,"
                  "\"IsZip\":false,\"Need\":true}\n",
                  i ? "," : "", i % 977, i, i * 2654435761u, i * 40503u, i ^ 0x5bd1e995, i * 97u, i * 131 % 9999991);
    data += entry;
  }
  data += "]";
  lg::test::WriteFileBytes(dir.File("doc.json"), data);
  const size_t expected = data.size();
  data = std::string();

  lg::test::TNginx nginx(dir.Path(), plain ? "types { application/json json; } gzip off;"
                                           : "types { application/json json; } gzip on; gzip_types application/json; "
                                             "gzip_comp_level 6;");
  if (!nginx.Started()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  const std::string url = nginx.Url("/doc.json");

  double ours = 1e9, curl = 1e9;
  bool ok = true;
  const std::string curlCommand = std::string("curl -s ") + (plain ? "" : "--compressed ") + "-o /dev/null " + url;
  for (int run = 0; run < 5; ++run) {
    lg::THttpGetDocument fetch;
    const auto start = std::chrono::steady_clock::now();
    ok = fetch.Get(url, "") && fetch.Document().size() == expected && ok;
    ours = std::min(ours, Seconds(std::chrono::steady_clock::now() - start));
    const auto c0 = std::chrono::steady_clock::now();
    ok = std::system(curlCommand.c_str()) == 0 && ok;
    curl = std::min(curl, Seconds(std::chrono::steady_clock::now() - c0));
  }
  std::printf("%.1f MB JSON, %s by nginx, best of 5\n", static_cast<double>(expected) / 1e6,
              plain ? "sent as it is" : "gzip-encoded");
  std::printf("document fetch: %.3f s, curl%s: %.3f s, ratio (curl time / ours) %.2f%s\n", ours,
              plain ? "" : " --compressed", curl, curl / ours, ok ? "" : " (a fetch FAILED)");
  return ok ? 0 : 1;
}
