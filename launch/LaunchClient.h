// The start button's launch of the game client (Windows only): the file
// "Client.bin" beside the launcher started for the chosen server, a record
// of it added to the watch, and "lastserver" written. Main thread.
#pragma once

#include <cstdint>

#include "launch/ClientCommandLine.h"
#include "launch/TClientWatch.h"
#include "servers/TServerInfo.h"

namespace lg {

// `owner` is the main window (HWND) that owns the failure box. True when a
// client process was started; the caller then enables its watch timer.
bool LaunchClient(intptr_t owner, const TServerInfo& server, TClientWatch& watch, const TRandomIndex& random);

// The watch's system side: exit codes of primary threads, handles closed.
TClientWatch::TExitCodeQuery SystemExitCodes();
TClientWatch::TRelease SystemRelease();

}  // namespace lg
