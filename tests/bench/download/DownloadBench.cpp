// Downloads one file (256 MiB by default) from a local nginx with
// `launcher-update get --connections 5` (the state saving during the
// download as built, none, and two other intervals side by side),
// `aria2c -x5 -s5 -k1M` and `curl`, best of three runs each, and prints
// MB/s, our ratio to each, the state saves of our runs, and every tool's
// peak resident memory (from /usr/bin/time). Needs nginx, aria2c, curl and
// /usr/bin/time (Linux). Usage: bench_download [MiB] [PAIRS]
// With PAIRS, the saving as built and no saving then run PAIRS more times
// each, in alternating order, every run after a sync so that neither finds
// the other's dirty pages still being written back; prints the median of
// the pairs' ratios, which a change of the machine's load disturbs less than
// a best-of-three.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Md5.h"
#include "common/Platform.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestSupport.h"

namespace {

struct TResult {
  double seconds = 1e9;
  long peakKib = 0;
  bool ok = true;
  int saves = -1;  // state saves of the best run, from "state saves: N"
};

// Runs `command` under /usr/bin/time three times; keeps the best time and
// the largest peak memory; checks the downloaded file each time.
TResult Measure(const std::string& command, const std::string& outFile, const std::string& want,
                const std::string& timeFile) {
  TResult r;
  for (int run = 0; run < 3; ++run) {
    std::remove(outFile.c_str());
    const auto start = std::chrono::steady_clock::now();
    const std::string outText = timeFile + ".out";
    const int code =
        std::system(("/usr/bin/time -f %M -o " + timeFile + " " + command + " > " + outText + " 2>&1").c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (s < r.seconds) {
      const std::string text = lg::test::ReadFileBytes(outText);
      const size_t at = text.find("state saves: ");
      r.saves = at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 13);
    }
    r.seconds = std::min(r.seconds, s);
    r.ok = r.ok && code == 0 && lg::Md5OfFile(outFile) == want;
    r.peakKib = std::max(r.peakKib, std::atol(lg::test::ReadFileBytes(timeFile).c_str()));
  }
  return r;
}

// One timed run after a sync; false when the file came out wrong.
bool TimedRun(const std::string& command, const std::string& outFile, const std::string& want, double& seconds) {
  std::remove(outFile.c_str());
  std::system("sync");
  const auto start = std::chrono::steady_clock::now();
  const int code = std::system((command + " > /dev/null 2>&1").c_str());
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return code == 0 && lg::Md5OfFile(outFile) == want;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int mib = argc > 1 ? std::atoi(argv[1]) : 256;
  const int pairs = argc > 2 ? std::atoi(argv[2]) : 0;
  const size_t size = static_cast<size_t>(mib) << 20;
  lg::test::TTempDir dir;
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
  lg::test::WriteFileBytes(dir.File("file.bin"), data);
  const std::string want = lg::Md5OfText(data);
  data.clear();
  data.shrink_to_fit();
  std::system(("chmod 755 " + dir.Path() + " && chmod 644 " + dir.File("file.bin")).c_str());

  lg::test::TNginx nginx(dir.Path());
  if (!nginx.Started()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  const std::string url = nginx.Url("/file.bin");
  const std::string out = dir.Path() + "out/";
  lg::plat::ForceDirectories(out);
  const std::string timeFile = dir.File("time.txt");

  const std::string get = std::string(LG_UPDATE_TOOL) + " get " + url + " --dir " + out + " --connections 5";
  // Interleaved, so that a change of the machine's load meets every variant.
  TResult ours, unsaved, every1s, bytes8m;
  for (int round = 0; round < 2; ++round) {
    auto best = [](TResult& keep, const TResult& r) {
      if (r.seconds < keep.seconds) {
        keep.seconds = r.seconds;
        keep.saves = r.saves;
      }
      keep.ok = keep.ok && r.ok;
      keep.peakKib = std::max(keep.peakKib, r.peakKib);
    };
    best(ours, Measure(get, out + "file.bin", want, timeFile));
    best(unsaved, Measure(get + " --no-state-saving", out + "file.bin", want, timeFile));
    best(every1s, Measure(get + " --state-save 1000,0", out + "file.bin", want, timeFile));
    best(bytes8m, Measure(get + " --state-save 1000,8388608", out + "file.bin", want, timeFile));
  }
  const TResult aria =
      Measure("aria2c -x5 -s5 -k1M --file-allocation=none --allow-overwrite=true -d " + out + " -o file.bin " + url,
              out + "file.bin", want, timeFile);
  const TResult curl = Measure("curl -s -o " + out + "file.bin " + url, out + "file.bin", want, timeFile);

  auto rate = [&](const TResult& r) { return static_cast<double>(size) / 1e6 / r.seconds; };
  std::printf("%d MiB from nginx on 127.0.0.1, best of 3 (MB/s = 10^6 bytes/s)\n", mib);
  auto line = [&](const char* name, const TResult& r) {
    std::printf("  %-30s %7.1f MB/s  peak RSS %6ld KiB  %d state saves  %.3f of no saving%s\n", name, rate(r),
                r.peakKib, r.saves, rate(r) / rate(unsaved), r.ok ? "" : "  FAILED");
  };
  line("launcher-update get x5:", ours);
  line("same, no state saving:", unsaved);
  line("same, saving every 1 s:", every1s);
  line("same, every 1 s or 8 MiB:", bytes8m);
  std::printf("  aria2c -x5 -s5 -k1M:    %7.1f MB/s  peak RSS %6ld KiB%s\n", rate(aria), aria.peakKib,
              aria.ok ? "" : "  FAILED");
  std::printf("  curl:                   %7.1f MB/s  peak RSS %6ld KiB%s\n", rate(curl), curl.peakKib,
              curl.ok ? "" : "  FAILED");
  std::printf("  ratio ours/aria2c %.2f, ours/curl %.2f, saving/no saving %.3f\n", rate(ours) / rate(aria),
              rate(ours) / rate(curl), rate(ours) / rate(unsaved));
  bool pairsOk = true;
  if (pairs > 0) {
    std::vector<double> ratios, saved, plain;
    for (int i = 0; i < pairs; ++i) {
      double withSaving = 0, without = 0;
      const bool savedFirst = i % 2 == 0;
      for (int step = 0; step < 2; ++step) {
        const bool runSaved = (step == 0) == savedFirst;
        pairsOk = TimedRun(runSaved ? get : get + " --no-state-saving", out + "file.bin", want,
                           runSaved ? withSaving : without) &&
                  pairsOk;
      }
      saved.push_back(withSaving);
      plain.push_back(without);
      ratios.push_back(without / withSaving);  // speed with saving / speed without
    }
    std::printf("  %d alternating pairs after sync: saving %.3f s, no saving %.3f s (medians);\n", pairs, Median(saved),
                Median(plain));
    std::printf("  speed with saving / without, per pair:");
    for (const double r : ratios) std::printf(" %.3f", r);
    std::printf("\n  median %.3f%s\n", Median(ratios), pairsOk ? "" : "  FAILED");
  }
  return ours.ok && unsaved.ok && every1s.ok && bytes8m.ok && aria.ok && curl.ok && pairsOk ? 0 : 1;
}
