#include "common/Console.h"

#include <windows.h>

namespace lg::plat {

bool StdoutIsTerminal() {
  // A console handle answers GetConsoleMode; files and pipes do not.
  DWORD mode = 0;
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return out != INVALID_HANDLE_VALUE && out != nullptr && ::GetConsoleMode(out, &mode) != 0;
}

}  // namespace lg::plat
