// The install-location check of the first timer tick (Windows only): runs
// the launcher from the game's folder, finding that folder through the two
// uninstall keys or the dialog, copying itself there, putting a shortcut
// on the desktop and starting the installed copy. Main thread.
#pragma once

#include <cstdint>
#include <string>

namespace lg {

class TForm1;

// Under HKEY_LOCAL_MACHINE, read through their "UninstallString" values.
inline constexpr const char* kUninstallKeyGame = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvath";
// The small-client entry; the name ends in "微端" (GBK, see SmallClientKey).
std::string SmallClientKey();

// True when this copy goes on running; false when it has started the
// installed copy (the application is then ending). Closing the dialog
// without a folder ends the process.
bool CheckInstallLocation(intptr_t mainWindow, TForm1& dialog);

// A shell link to `target` with `arguments`, its folder as the working
// folder and `description`, saved as `linkFile`. False when it failed.
bool CreateShortcut(const std::string& target, const std::string& arguments, const std::string& description,
                    const std::string& linkFile);

// HKEY_LOCAL_MACHINE values (GBK key and value texts); empty when missing.
std::string ReadMachineText(const std::string& key, const char* value, bool createKey);
bool WriteMachineText(const std::string& key, const char* value, const std::string& text);

}  // namespace lg
