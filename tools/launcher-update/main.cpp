// launcher-update: update work for an installation folder from the
// command line. The first argument names the subcommand.
#include <cstring>
#include <string>
#include <vector>

#include "common/Console.h"
#include "common/Socket.h"
#include "tools/launcher-update/Commands.h"

namespace {

struct TCommand {
  const char* name;
  int (*run)(const std::vector<std::string>&, const lg::updatetool::TWriter&, bool);
  const char* usage;
};

const TCommand kCommands[] = {
    {"pass", lg::updatetool::PassCommand, lg::updatetool::kPassUsage},
};

int Usage() {
  std::string text = "usage: launcher-update <command> [options]\ncommands:\n";
  for (const TCommand& c : kCommands) text += std::string("  ") + c.usage + "\n";
  lg::plat::WriteStdout(text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const TCommand& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    if (lg::sock::LibraryStartup() != 0) {
      lg::plat::WriteStdout("socket library start-up failed\n");
      return 1;
    }
    const int code = c.run(args, lg::plat::WriteStdout, lg::plat::StdoutIsTerminal());
    lg::sock::LibraryCleanup();
    return code;
  }
  return Usage();
}
