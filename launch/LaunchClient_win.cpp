#include "launch/LaunchClient.h"

#include <windows.h>

#include "common/Deployment.h"
#include "common/Platform.h"
#include "launch/Processes.h"
#include "launcher/Diagnostics.h"
#include "launcher/Settings.h"

namespace lg {

bool LaunchClient(intptr_t owner, const TServerInfo& server, TClientWatch& watch, const TRandomIndex& random) {
  const std::string path = LauncherFolder() + kClientFileName;
  if (!plat::FileExists(path)) return false;
  TClientLaunchValues v;
  // An empty address list leaves nothing to connect to: no process.
  if (!PickAddress(server.ip, random, v.Address)) return false;
  LogError("SLB login ip = " + v.Address);
  v.Id = server.id;
  v.Port = server.port;
  v.Name = server.name;
  v.LauName = ExeName();
  v.WebUrl = _RegistryPageUrl;
  v.CdnUrl = _ClientPatchUrl;
  intptr_t thread = RunProcess(path, FormClientArguments(v));
  if (thread <= 0) {
    // The long sentence is the box's caption, "错误" its text.
    MessageBoxW(reinterpret_cast<HWND>(owner), L"错误", L"#102 客户端启动失败, 请重新安装！", MB_ICONERROR | MB_OK);
    return false;
  }
  watch.Add(server.id, thread);
  WriteSetting(kKeyLastServer, server.id);
  return true;
}

TClientWatch::TExitCodeQuery SystemExitCodes() {
  return [](intptr_t thread, uint32_t& code) { return ThreadExitCode(thread, code); };
}

TClientWatch::TRelease SystemRelease() {
  return [](intptr_t thread) { ReleaseHandle(thread); };
}

}  // namespace lg
