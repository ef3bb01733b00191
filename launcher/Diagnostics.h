// Diagnostics of the launcher: the debugger-channel log of the main window.
// (The update worker's own log is TUpdateLog in the update engine.)
#pragma once

#include <string_view>

namespace lg {

// The main window's log: one GBK line to the debug output, unchanged.
// Main thread only.
void LogError(std::string_view text);

}  // namespace lg
