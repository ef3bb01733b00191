// Path patterns of the publisher's --zip and --skip options, matched
// against names relative to the game folder with "/" separators (UTF-8).
// "*" matches any run of characters within one folder level, "**" any run
// including "/", and "**/" also matches no folder at all, so "**/*.dat"
// matches "a.dat" and "x/y/a.dat". "?" matches one character other than
// "/". ASCII letters match in either case, as Windows file names do.
// Pure functions.
#pragma once

#include <string_view>

namespace lg::publish {

bool GlobMatch(std::string_view pattern, std::string_view path);

}  // namespace lg::publish
