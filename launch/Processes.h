// Starting, watching and ending processes (Windows only; declared here
// without system headers so the window code can include it). Paths and
// arguments are GBK and reach the system as UTF-16 (code page 936), so the
// result does not depend on the system's own code page. Main thread.
#pragma once

#include <cstdint>
#include <string>

namespace lg {

// Starts `path` with the command line FormCommandLine(path, arguments) in
// the folder part of `path`, shown normally, no handles inherited. The
// primary thread's handle of the new process, or 0 when it could not be
// created; the caller releases it with ReleaseHandle.
intptr_t RunProcess(const std::string& path, const std::string& arguments);

// The exit code of a thread (259 while it runs); false when it cannot be read.
bool ThreadExitCode(intptr_t thread, uint32_t& code);
void ReleaseHandle(intptr_t handle);

// Ends every running process whose image file name equals `imageName`
// without regard to letter case (this process included when it matches).
// The number of processes ended.
int TerminateProcessesNamed(const std::string& imageName);

}  // namespace lg
