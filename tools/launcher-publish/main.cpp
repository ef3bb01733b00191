// launcher-publish: publishes a game folder for the launcher's update
// passes and verifies what a content server serves. See PublishTool.h.
#include <iostream>
#include <string>
#include <vector>

#include "common/Console.h"
#include "common/Platform.h"
#include "tools/launcher-publish/PublishTool.h"

int main(int argc, char** argv) {
  // The tool works in GBK. Arguments that are valid UTF-8 (a Linux shell,
  // or plain ASCII anywhere) are converted; anything else is taken to be in
  // the Windows code page already.
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string gbk;
    args.push_back(lg::plat::TryGbkFromUtf8(argv[i], gbk) ? gbk : std::string(argv[i]));
  }
  return lg::publish::RunPublishTool(args, std::cout, std::cerr, lg::plat::StdoutIsTerminal());
}
