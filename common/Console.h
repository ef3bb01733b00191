// The command-line tools' view of their standard output: whether it is a
// terminal (progress lines are redrawn in place there) and writing GBK text
// so that the terminal shows it (UTF-8 on POSIX terminals, UTF-16 through
// the console API on Windows). Output that is not a terminal gets the text
// as UTF-8 bytes. Call from one thread at a time.
#pragma once

#include <string_view>

namespace lg::plat {

bool StdoutIsTerminal();
// Writes `gbk` to standard output and flushes it.
void WriteStdout(std::string_view gbk);

}  // namespace lg::plat
