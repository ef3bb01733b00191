// POSIX side of the console helpers.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/Console.h"
#include "common/Platform.h"

namespace lg::plat {

bool StdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

void WriteStdout(std::string_view gbk) {
  const std::string text = Utf8FromGbk(gbk);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace lg::plat
