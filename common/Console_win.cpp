// Windows side of the console helpers: a console gets UTF-16 through
// WriteConsoleW, so the text does not depend on the console's code page.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/Console.h"
#include "common/Platform.h"

namespace lg::plat {

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void WriteStdout(std::string_view gbk) {
  if (StdoutIsTerminal()) {
    std::fflush(stdout);
    const std::u16string wide = Utf16FromGbk(gbk);
    DWORD written = 0;
    WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const std::string text = Utf8FromGbk(gbk);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace lg::plat
