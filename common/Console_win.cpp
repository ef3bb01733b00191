#include <io.h>

#include <cstdio>

#include "common/Console.h"

namespace lg::plat {

bool StdoutIsTerminal() {
  return _isatty(_fileno(stdout)) != 0;
}

std::string ConsoleText(std::string_view gbk) {
  return std::string(gbk);
}

std::string GbkFromConsole(std::string_view text) {
  return std::string(text);
}

}  // namespace lg::plat
