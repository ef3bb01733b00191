// Subcommands of launcher-update. Each takes the arguments after its name
// and returns the process exit code; output goes to stdout, errors to stderr.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lg::updatetool {

// get URL --dir DIR [--connections N] [--size BYTES] [--no-state-saving] [--pipelined]
int RunGet(const std::vector<std::string>& args);
extern const char* const kGetUsage;

// pass --dir INSTALL --base URL --pass 0|1 [--exe-name NAME] [--pipelined]
// 0: the pass ran its download sweeps and every file is in place;
// 2: it ran them but some files failed every sweep (each named);
// 1: anything else (usage error, manifest unreachable, error in the run).
int RunPass(const std::vector<std::string>& args);
extern const char* const kPassUsage;

// The pass command itself: `write` receives GBK text for the output,
// `terminal` says whether that output is a terminal (one redrawn line)
// or not (plain lines).
using TWriter = std::function<void(const std::string& gbk)>;
int PassCommand(const std::vector<std::string>& args, const TWriter& write, bool terminal);

}  // namespace lg::updatetool
