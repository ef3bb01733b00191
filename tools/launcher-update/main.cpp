// launcher-update: the launcher's update machinery from the command line.
// main() only dispatches to the subcommands (Commands.h).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/Socket.h"
#include "tools/launcher-update/Commands.h"

namespace {

struct TCommand {
  const char* name;
  int (*run)(const std::vector<std::string>&);
  const char* usage;
};

const TCommand kCommands[] = {
    {"get", lg::updatetool::RunGet, lg::updatetool::kGetUsage},
    {"pass", lg::updatetool::RunPass, lg::updatetool::kPassUsage},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const TCommand& c : kCommands) std::fprintf(stderr, "  launcher-update %s\n", c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const TCommand& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    if (lg::sock::LibraryStartup() != 0) {
      std::fprintf(stderr, "socket library start-up failed\n");
      return 1;
    }
    const int code = c.run(std::vector<std::string>(argv + 2, argv + argc));
    lg::sock::LibraryCleanup();
    return code;
  }
  std::fprintf(stderr, "unknown command: %s\n", argv[1]);
  return Usage();
}
