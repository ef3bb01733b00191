#include "launcher/app/StartModes.h"

#include "common/Deployment.h"
#include "common/Platform.h"
#include "launch/Processes.h"
#include "launcher/Diagnostics.h"
#include "launcher/TReplacementStep.h"

namespace lg {
namespace {

class TSystemReplacementHost final : public IReplacementHost {
 public:
  bool CopyWholeFile(const std::string& from, const std::string& to) override { return CopyWholeFileTo(from, to); }
  bool RenameOver(const std::string& from, const std::string& to) override { return plat::RenameFile(from, to); }
  void DeleteFile(const std::string& path) override { plat::DeleteFile(path); }
  void ClearAttributes(const std::string& path) override { plat::ClearAttributes(path); }
  void TerminateProcesses(const std::string& imageName) override { TerminateProcessesNamed(imageName); }
  void Sleep(uint32_t ms) override { plat::SleepMs(ms); }
  bool StartProgram(const std::string& path) override {
    intptr_t thread = RunProcess(path, "");
    ReleaseHandle(thread);
    return thread > 0;
  }
  void Log(const std::string& line) override { LogError(line); }
};

}  // namespace

int RunReplacementMode() {
  TSystemReplacementHost host;
  TReplacementStep step(host, LauncherFolder(), ExeStem());
  return step.Run() == TReplacementStep::TResult::Replaced ? 0 : 1;
}

}  // namespace lg
