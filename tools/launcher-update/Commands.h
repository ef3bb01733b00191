// The subcommands of launcher-update. Each takes the arguments after its
// name and returns the process exit code; `write` receives GBK text for
// standard output, `terminal` says whether that output is a terminal.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lg::updatetool {

using TWriter = std::function<void(const std::string& gbk)>;

// pass --dir INSTALL --base URL --pass 0|1 [--exe-name NAME]
// 0: the pass ran its download sweeps and every file is in place;
// 2: it ran them but some files failed every sweep (each named);
// 1: anything else (usage error, manifest unreachable, error in the run).
int PassCommand(const std::vector<std::string>& args, const TWriter& write, bool terminal);
extern const char* const kPassUsage;

}  // namespace lg::updatetool
