// Paths as the user reads them. Core paths are GBK and may mix "\" and "/";
// what a tool prints should use the platform's own separator ("/" on Linux,
// "\" on Windows) and stay GBK, so it can go through the console conversion
// like any other text. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace lg {

// Every "\" and "/" of a GBK path replaced by `separator`; a GBK trail byte
// that equals "\" (0x5C) belongs to its character and stays.
std::string WithSeparators(std::string_view path, char separator);

// WithSeparators(path, the platform's separator).
std::string DisplayPath(std::string_view path);

}  // namespace lg
