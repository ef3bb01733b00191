#include <unistd.h>

#include <cstdio>

#include "common/Console.h"
#include "common/Platform.h"

namespace lg::plat {

bool StdoutIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

std::string ConsoleText(std::string_view gbk) {
  return Utf8FromGbk(gbk);
}

std::string GbkFromConsole(std::string_view text) {
  return GbkFromUtf8(text);
}

}  // namespace lg::plat
