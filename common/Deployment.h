// The ten deployment values read from the launcher's appended block, and the
// launcher's own name and folder. Written once on the main thread during
// start-up (or by a tool's command line) before any worker starts; read-only
// afterwards, so workers may read them without a lock.
#pragma once

#include <string>

namespace lg {

// Empty while the block is missing or invalid. GBK text.
inline std::string _HomeHub;          // "1" enables the channel home page
inline std::string _HubID;            // decimal game id
inline std::string _LauName;          // launcher display name
inline std::string _ClientPatchUrl;   // base URL of update pass 0
inline std::string _LauncherPathUrl;  // base URL of update pass 1
inline std::string _HomePageUrl;
inline std::string _RegistryPageUrl;
inline std::string _BBSPageUrl;
inline std::string _PayPageUrl;
inline std::string _NewsPageUrl;

void ClearDeploymentValues();

// The launcher's own executable. Defaults to the running executable; tools
// that act for an installation (the headless updater) set it explicitly.
void SetLauncherPath(const std::string& fullPath);
// Full path of the launcher's executable.
const std::string& LauncherPath();
// The file-name part with its extension, e.g. "launcher.exe".
std::string ExeName();
// The folder of LauncherPath with a trailing separator ("C:\game\").
std::string LauncherFolder();
// ExeName without its extension: the stem of sibling names
// (stem + ".exe", stem + ".update").
std::string ExeStem();

}  // namespace lg
