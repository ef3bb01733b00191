#include "launcher/Settings.h"

#include "common/Deployment.h"
#include "common/ProfileFile.h"

namespace lg {

std::string SettingsPath() {
  return LauncherFolder() + kSettingsFileName;
}

int ReadSetting(const char* key) {
  return ReadProfileInt(SettingsPath(), kSettingsSection, key, 0);
}

void WriteSetting(const char* key, int value) {
  WriteProfileInt(SettingsPath(), kSettingsSection, key, value);
}

}  // namespace lg
