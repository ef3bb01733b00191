#include "common/Deployment.h"

#include <mutex>

#include "common/Platform.h"

namespace lg {
namespace {

std::once_flag gPathOnce;
std::string gLauncherPath;

size_t LastSeparator(const std::string& path) {
  return path.find_last_of("\\/");
}

}  // namespace

void ClearDeploymentValues() {
  for (std::string* v : {&_HomeHub, &_HubID, &_LauName, &_ClientPatchUrl, &_LauncherPathUrl, &_HomePageUrl,
                         &_RegistryPageUrl, &_BBSPageUrl, &_PayPageUrl, &_NewsPageUrl})
    v->clear();
}

void SetLauncherPath(const std::string& fullPath) {
  std::call_once(gPathOnce, [] {});
  gLauncherPath = fullPath;
}

const std::string& LauncherPath() {
  std::call_once(gPathOnce, [] { gLauncherPath = plat::ExecutablePath(); });
  return gLauncherPath;
}

std::string ExeName() {
  const std::string& path = LauncherPath();
  size_t sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string LauncherFolder() {
  const std::string& path = LauncherPath();
  size_t sep = LastSeparator(path);
  // Keep the platform's own separator so the folder joins with "\" names.
  return sep == std::string::npos ? std::string(".\\") : path.substr(0, sep + 1);
}

std::string ExeStem() {
  std::string name = ExeName();
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace lg
