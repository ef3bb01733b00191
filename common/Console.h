// The program's own standard output as a console: whether it is a terminal
// (so progress can redraw one line) and how GBK text is written to it.
// Platform siblings: Console_posix.cpp, Console_win.cpp. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace lg::plat {

bool StdoutIsTerminal();
// GBK text as the console shows it: UTF-8 on POSIX systems, unchanged on
// Windows, whose consoles of the launcher's users use code page 936.
std::string ConsoleText(std::string_view gbk);
// A command-line argument as GBK (the inverse of ConsoleText).
std::string GbkFromConsole(std::string_view text);

}  // namespace lg::plat
