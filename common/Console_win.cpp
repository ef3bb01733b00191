#include <windows.h>

#include "common/Console.h"

namespace lg::plat {

bool StdoutIsTerminal() {
  // A console handle answers GetConsoleMode; files, pipes and NUL do not
  // (_isatty says yes for NUL).
  DWORD mode = 0;
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return out != INVALID_HANDLE_VALUE && out != nullptr && ::GetConsoleMode(out, &mode) != 0;
}

// The launcher's users run consoles in code page 936: GBK goes out as it is.
std::string ConsoleText(std::string_view gbk) {
  return std::string(gbk);
}

std::string GbkFromConsole(std::string_view text) {
  return std::string(text);
}

}  // namespace lg::plat
