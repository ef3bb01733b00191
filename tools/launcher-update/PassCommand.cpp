// launcher-update pass: one update pass for an installation folder, as the
// launcher runs it (same local files: the manifest copy, the local state,
// "UpdateLog.txt", "launcher.ini", the ".update" companion), with the
// pass's messages shown on the terminal instead of the window.
#include <cstdio>
#include <vector>

#include "DeploymentDefaults.h"
#include "common/Console.h"
#include "common/Deployment.h"
#include "common/DisplayPath.h"
#include "common/FileStream.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "tools/launcher-update/Commands.h"
#include "update/ManifestSignature.h"
#include "update/TQueueSink.h"
#include "update/TUpdateThread.h"
#include "update/UpdateMessages.h"

namespace lg::updatetool {

const char* const kPassUsage =
    "pass --dir INSTALL --base URL --pass 0|1 [--exe-name NAME] [--public-key FILE] [--pipelined]";

namespace {

constexpr int kGatherMs = 10;

int Percent(int64_t pos, int64_t max) {
  if (max <= 0) return 0;
  const int64_t p = pos * 100 / max;
  return static_cast<int>(p < 0 ? 0 : p > 100 ? 100 : p);
}

// What the window would show: the status line, both progress bars and
// the speed. On a terminal one line is redrawn in place; otherwise status
// lines and at most one progress line a second are written.
class TPassDisplay {
 public:
  TPassDisplay(const TWriter& write, bool terminal) : write_(write), terminal_(terminal) {}

  void Handle(const TPostedMessage& m) {
    switch (m.Message) {
      case WM_UPDATE_STATUS:
        status_ = m.Text;
        if (!terminal_) write_(status_ + "\n");
        dirty_ = true;
        break;
      case WM_UPDATE_PROGRESS:
        totalPos_ = static_cast<uint32_t>(m.WParam);
        totalMax_ = static_cast<int32_t>(m.LParam);
        dirty_ = true;
        break;
      case WM_UPDATE_FILEPROGRESS:
        curPos_ = static_cast<uint32_t>(m.WParam);
        curMax_ = static_cast<int32_t>(m.LParam);
        dirty_ = true;
        break;
      case WM_UPDATE_SPEED:
        // The window's rule: only a positive elapsed time gives a speed.
        if (static_cast<int32_t>(m.LParam) > 0) {
          speedKb_ =
              static_cast<double>(static_cast<uint32_t>(m.WParam)) / static_cast<int32_t>(m.LParam) * 1000.0 / 1024.0;
          dirty_ = true;
        }
        break;
      default: break;
    }
  }

  void Refresh(bool force) {
    const uint32_t now = plat::TickCount();
    if (!dirty_ || (!force && now - lastDraw_ < (terminal_ ? 100u : 1000u))) return;
    lastDraw_ = now;
    dirty_ = false;
    char bars[96];
    std::snprintf(bars, sizeof bars, "total %3d%%  file %3d%%  %6.0f KB/s", Percent(totalPos_, totalMax_),
                  Percent(curPos_, curMax_), speedKb_);
    if (terminal_) {
      // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict
      // overlap for "\r" + std::string(...).
      std::string line = "\r";
      line += bars;
      line += "  ";
      line += status_;
      line += "\x1b[K";
      write_(line);
      drawn_ = true;
    } else {
      write_(std::string(bars) + "\n");
    }
  }

  void End() {
    if (terminal_ && drawn_) write_("\n");
  }

 private:
  const TWriter& write_;
  const bool terminal_;
  std::string status_;
  int64_t totalPos_ = 0, totalMax_ = 0, curPos_ = 0, curMax_ = 0;
  double speedKb_ = 0;
  bool dirty_ = false;
  bool drawn_ = false;
  uint32_t lastDraw_ = 0;
};

std::string ArgText(const std::string& arg) {
  return plat::GbkFromConsole(arg);
}

bool ParseArgs(const std::vector<std::string>& args, std::string& dir, std::string& base, int& pass,
               std::string& exeName, std::string& keyFile, bool& pipelined, std::string& error) {
  bool havePass = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--pipelined") {  // the one option without a value
      pipelined = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "missing value after " + a;
      return false;
    }
    const std::string value = args[++i];
    if (a == "--dir") {
      dir = ArgText(value);
    } else if (a == "--base") {
      base = value;
    } else if (a == "--public-key") {
      keyFile = ArgText(value);
    } else if (a == "--exe-name") {
      exeName = ArgText(value);
    } else if (a == "--pass") {
      if (value != "0" && value != "1") {
        error = "--pass takes 0 or 1";
        return false;
      }
      pass = value[0] - '0';
      havePass = true;
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (dir.empty() || base.empty() || !havePass) {
    error = "--dir, --base and --pass are required";
    return false;
  }
  if (exeName.empty() || exeName.find_first_of("/\\") != std::string::npos) {
    error = "--exe-name takes a file name";
    return false;
  }
  return true;
}

}  // namespace

int PassCommand(const std::vector<std::string>& args, const TWriter& write, bool terminal) {
  std::string dir, base, exeName = "launcher.exe", keyFile, error;
  int pass = 0;
  bool pipelined = false;
  if (!ParseArgs(args, dir, base, pass, exeName, keyFile, pipelined, error)) {
    write(error + "\nusage: launcher-update " + kPassUsage + "\n");
    return 1;
  }
  // The build's key unless a key file is named, as the launcher does.
  TUpdateThreadOptions options;
  options.PublicKey = defaults::kUpdatePublicKey;
  // The build's transfer mode, or the pipelined one when asked for.
  options.Pipelined = pipelined || defaults::kPipelinedTransfer;
  if (!keyFile.empty()) {
    std::string text;
    crypto::TPublicKey key;
    if (!plat::ReadWholeFile(keyFile, text) || text.size() > 256 || !ParsePublicKeyText(text, key)) {
      write("not a public key file (128 hex digits): " + DisplayPath(keyFile) + "\n");
      return 1;
    }
    options.PublicKey = PublicKeyText(key);
  }
  if (!plat::DirectoryExists(dir)) {
    write("no such folder: " + DisplayPath(dir) + "\n");
    return 1;
  }
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  SetLauncherPath(dir + exeName);

  TQueueSink sink;
  TPassDisplay display(write, terminal);
  int result = -1;
  std::vector<std::string> failing;
  {
    TUpdateThread thread(sink, pass, base, std::move(options));
    // The run always ends with WM_UPDATE_DONE unless it is stopped, which
    // nothing here does; the thread's end is watched all the same.
    while (result < 0) {
      const bool ended = thread.Finished();
      const std::vector<TPostedMessage> batch = sink.Take(100);
      for (const TPostedMessage& m : batch) {
        display.Handle(m);
        if (m.Message == WM_UPDATE_DONE) result = static_cast<int>(m.WParam);
      }
      display.Refresh(false);
      if (ended && result < 0) break;
      // The pass posts a few messages for every block it receives: taken in
      // batches, they do not wake this thread (and take a core from the
      // transfer) for each one.
      if (!batch.empty() && result < 0) plat::SleepMs(kGatherMs);
    }
    thread.WaitFor();
    for (const TPostedMessage& m : sink.Take(0)) display.Handle(m);
    display.Refresh(true);
    failing = thread.LeftFailing();
  }  // the log is written here
  display.End();

  if (result != 1) {
    write("the update pass failed; see " + DisplayPath(dir + "UpdateLog.txt") + "\n");
    return 1;
  }
  if (!failing.empty()) {
    for (const std::string& name : failing) write("failed: " + name + "\n");
    return 2;
  }
  write("up to date\n");
  return 0;
}

int RunPass(const std::vector<std::string>& args) {
  const TWriter write = [](const std::string& gbk) {
    const std::string text = plat::ConsoleText(gbk);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  };
  return PassCommand(args, write, plat::StdoutIsTerminal());
}

}  // namespace lg::updatetool
