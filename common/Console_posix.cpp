#include "common/Console.h"

#include <unistd.h>

namespace lg::plat {

bool StdoutIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace lg::plat
