// Console queries for the command-line tools (platform layer): whether
// standard output is an interactive terminal, so a tool can redraw one
// progress line with "\r" there and stay quiet when its output is a file or
// a pipe. Callable from any thread.
#pragma once

namespace lg::plat {

bool StdoutIsTerminal();

}  // namespace lg::plat
