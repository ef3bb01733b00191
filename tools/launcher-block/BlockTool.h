// The command line of launcher-block: pack, inspect, strip. Output and
// errors go to the given streams so tests can run whole commands. Exit
// status: 0 success (inspect: all three sections valid), 1 failure (inspect:
// some section invalid or no block), 2 usage error.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace lg::blocktool {

int RunBlockTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace lg::blocktool
