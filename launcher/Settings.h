// "launcher.ini" beside the launcher: section "Main", keys "lastserver"
// (main thread) and "UpdateNow" (update worker). Every access opens, reads or
// writes one value and closes the file; missing or unreadable values read as
// 0. Write failures are ignored, as nothing is shown for them.
#pragma once

#include <string>

namespace lg {

inline constexpr const char* kSettingsFileName = "launcher.ini";
inline constexpr const char* kSettingsSection = "Main";
inline constexpr const char* kKeyLastServer = "lastserver";
inline constexpr const char* kKeyUpdateNow = "UpdateNow";

std::string SettingsPath();
int ReadSetting(const char* key);
void WriteSetting(const char* key, int value);

}  // namespace lg
