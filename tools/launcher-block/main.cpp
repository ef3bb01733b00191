// launcher-block: packs, inspects and strips the deployment block of a
// launcher executable. See BlockTool.h for the commands.
#include <iostream>

#include "tools/launcher-block/BlockTool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return lg::blocktool::RunBlockTool(args, std::cout, std::cerr);
}
