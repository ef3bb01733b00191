// "get": downloads one file with THttpDownload, driving it as the update
// thread does (CheckTimeout every 10 ms), and shows progress and speed: one
// redrawn line on a terminal, a plain line per second otherwise. An
// interrupted download (killed, or failed) resumes on the next run from the
// ".!dl" state file left beside the data file.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DeploymentDefaults.h"
#include "Library/hDownload/HttpParse.h"
#include "Library/hDownload/TConnectionPool.h"
#include "Library/hDownload/THttpDownload.h"
#include "common/Console.h"
#include "common/DisplayPath.h"
#include "common/Platform.h"
#include "tools/launcher-update/Commands.h"

namespace lg::updatetool {

const char* const kGetUsage =
    "get URL --dir DIR [--connections N] [--size BYTES] [--no-state-saving | --state-save MS,BYTES] [--pipelined]";

namespace {

struct TGetOptions {
  std::string url;
  std::string dir;
  int connections = 5;
  int64_t size = 0;
  bool stateSaving = true;  // off: the state file is written only on stop
  bool pipelined = defaults::kPipelinedTransfer;
  // Other saving intervals than the downloader's own (benchmarks); 0 and 0
  // keep them.
  uint32_t saveMs = 0;
  int64_t saveBytes = 0;
};

bool ParseGetOptions(const std::vector<std::string>& args, TGetOptions& o, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--dir" && hasValue) {
      o.dir = args[++i];
    } else if (a == "--connections" && hasValue) {
      o.connections = static_cast<int>(ParseInt64(args[++i], -1));
      if (o.connections < 1 || o.connections > 32) {
        error = "--connections takes 1 to 32";
        return false;
      }
    } else if (a == "--size" && hasValue) {
      o.size = ParseDecimalLength(args[++i]);
      if (o.size < 0) {
        error = "--size takes a number of bytes";
        return false;
      }
    } else if (a == "--pipelined") {
      o.pipelined = true;
    } else if (a == "--no-state-saving") {
      o.stateSaving = false;
    } else if (a == "--state-save" && hasValue) {
      std::string bytes = args[++i];
      const size_t comma = bytes.find(',');
      const int64_t ms = comma == std::string::npos ? -1 : ParseDecimalLength(bytes.substr(0, comma));
      o.saveBytes = comma == std::string::npos ? -1 : ParseDecimalLength(bytes.substr(comma + 1));
      if (ms < 0 || ms > 3600000 || o.saveBytes < 0 || (ms == 0 && o.saveBytes == 0)) {
        error = "--state-save takes MS,BYTES (not both 0: that is --no-state-saving)";
        return false;
      }
      o.saveMs = static_cast<uint32_t>(ms);
    } else if (o.url.empty() && !a.empty() && a[0] != '-') {
      o.url = a;
    } else {
      error = "unexpected argument: " + a;
      return false;
    }
  }
  if (o.url.empty() || o.dir.empty()) {
    error = "a URL and --dir are needed";
    return false;
  }
  return true;
}

// Ctrl+C (or SIGTERM) stops the download the orderly way: the workers give
// their ranges back and the state file is saved, so the next run resumes.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

double Mib(int64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

int RunGet(const std::vector<std::string>& args) {
  TGetOptions o;
  std::string error;
  if (!ParseGetOptions(args, o, error)) {
    std::fprintf(stderr, "%s\nusage: launcher-update %s\n", error.c_str(), kGetUsage);
    return 2;
  }
  const bool terminal = plat::StdoutIsTerminal();
  std::atomic<int> outcome{0};  // 1 complete, 2 failed
  THttpDownload d(static_cast<uint8_t>(o.connections));
  d.OnComplete = [&](THttpDownload&) { outcome = 1; };
  d.OnFailed = [&](THttpDownload&) { outcome = 2; };
  if (o.pipelined) d.SetPipelined(std::make_shared<TConnectionPool>());
  if (!o.stateSaving) d.SetStateSaveInterval(0, 0);
  if (o.saveMs != 0 || o.saveBytes != 0) d.SetStateSaveInterval(o.saveMs, o.saveBytes);
  // Paths on the command line are the system's; the core wants GBK.
  d.Start(plat::GbkFromConsole(o.url), plat::GbkFromConsole(o.dir), o.size);

  const uint32_t start = plat::TickCount();
  uint32_t lastShown = start, lastTick = start;
  int64_t lastBytes = -1, baseline = -1;
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  while (outcome == 0 && !stopRequested) {
    d.CheckTimeout();
    plat::SleepMs(10);
    const uint32_t now = plat::TickCount();
    if (baseline < 0 && d.State() == THttpDownload::Downloading) {
      baseline = d.ReceivedSize();  // bytes already present from an earlier run
      lastBytes = baseline;
      lastTick = now;
      if (baseline > 0) std::printf("resuming: %.1f MiB already present\n", Mib(baseline));
    }
    if (now - lastShown < (terminal ? 200u : 1000u) || baseline < 0) continue;
    const int64_t got = d.ReceivedSize(), size = d.FileSize();
    const double speed = Mib(got - lastBytes) / ((now - lastTick) / 1000.0);
    lastBytes = got;
    lastTick = now;
    lastShown = now;
    const double percent = size > 0 ? 100.0 * static_cast<double>(got) / static_cast<double>(size) : 0.0;
    std::printf(terminal ? "\r%5.1f%%  %.1f / %.1f MiB  %.1f MiB/s   " : "%5.1f%%  %.1f / %.1f MiB  %.1f MiB/s\n",
                percent, Mib(got), Mib(size), speed);
    std::fflush(stdout);
  }
  const double seconds = (plat::TickCount() - start) / 1000.0;
  if (terminal) std::printf("\n");
  if (outcome == 0) {
    std::fprintf(stderr, "stopped; run the same command again to resume\n");
    return 130;
  }
  if (outcome == 2) {
    std::fprintf(stderr, "failed: %s\n", plat::ConsoleText(d.ErrorText()).c_str());
    return 1;
  }
  const int64_t fetched = d.FileSize() - (baseline > 0 ? baseline : 0);
  std::printf("done: %s  %lld bytes in %.2f s, %.1f MiB/s, state saves: %d\n",
              plat::ConsoleText(DisplayPath(d.SaveDir() + d.FileName())).c_str(), static_cast<long long>(d.FileSize()),
              seconds, seconds > 0 ? Mib(fetched) / seconds : 0.0, d.StateSaves());
  return 0;
}

}  // namespace lg::updatetool
