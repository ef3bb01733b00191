// The names of "launcher.ini" beside the launcher: section "Main", keys
// "lastserver" (written by the main thread) and "UpdateNow" (written by the
// update worker). Here so that the update engine and the launcher's settings
// share one spelling.
#pragma once

namespace lg {

inline constexpr const char* kSettingsFileName = "launcher.ini";
inline constexpr const char* kSettingsSection = "Main";
inline constexpr const char* kKeyLastServer = "lastserver";
inline constexpr const char* kKeyUpdateNow = "UpdateNow";

}  // namespace lg
