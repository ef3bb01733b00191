// The launcher's ways of running, chosen at process entry (Windows only).
// Main thread.
#pragma once

#include <string>

namespace lg {

// The ".update" copy puts itself in place of "<name>.exe" and starts it.
// 0 when the new launcher is in place.
int RunReplacementMode();

// The web page viewer: one window showing `address`, until it closes.
int RunWebPageMode(const std::string& address);

// A normal launcher: the main window and its message loop.
int RunNormalMode();

}  // namespace lg
