// The command line of launcher-publish:
//   launcher-publish --src GAMEDIR --out WEBROOT [--launcher] [--launcher-exe NAME]
//                    [--zip GLOB]... [--skip GLOB]... [--package] [--package-name NAME]
//   launcher-publish verify (--base URL | --dir WEBROOT) [--manifest NAME]
// Output and errors go to the given streams so tests can run whole
// commands. Exit status: 0 success, 1 failure (verify: some entry wrong),
// 2 usage error. Arguments are GBK (see main.cpp).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace lg::publish {

int RunPublishTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal);

}  // namespace lg::publish
