// "launcher.ini" beside the launcher: section "Main", keys "lastserver"
// (main thread) and "UpdateNow" (update worker). Every access opens, reads or
// writes one value and closes the file; missing or unreadable values read as
// 0. Write failures are ignored, as nothing is shown for them.
#pragma once

#include <string>

#include "common/SettingsNames.h"

namespace lg {

std::string SettingsPath();
int ReadSetting(const char* key);
void WriteSetting(const char* key, int value);

}  // namespace lg
