// Subcommands of launcher-update. Each takes the arguments after its name
// and returns the process exit code; output goes to stdout, errors to stderr.
#pragma once

#include <string>
#include <vector>

namespace lg::updatetool {

// get URL --dir DIR [--connections N] [--size BYTES]
int RunGet(const std::vector<std::string>& args);
extern const char* const kGetUsage;

}  // namespace lg::updatetool
