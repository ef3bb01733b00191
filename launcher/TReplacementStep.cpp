#include "launcher/TReplacementStep.h"

#include <vector>

#include "common/FileStream.h"
#include "common/Platform.h"

namespace lg {

TReplacementStep::TReplacementStep(IReplacementHost& host, std::string folder, std::string stem)
    : host_(host), folder_(std::move(folder)), stem_(std::move(stem)) {}

bool TReplacementStep::TryOnce() {
  const std::string temp = TempPath();
  if (!host_.CopyWholeFile(UpdatePath(), temp)) {
    // Nothing under the real name was touched; "<name>.update" stays.
    host_.DeleteFile(temp);
    return false;
  }
  if (host_.RenameOver(temp, ExePath())) return true;
  // The old launcher may still be running from "<name>.exe", or the file
  // is read-only: end it and drop the attributes, but never delete the
  // target, so there is always a launcher to start.
  host_.TerminateProcesses(stem_ + ".exe");
  host_.ClearAttributes(ExePath());
  if (host_.RenameOver(temp, ExePath())) return true;
  host_.DeleteFile(temp);
  return false;
}

TReplacementStep::TResult TReplacementStep::Run() {
  host_.Sleep(kStartDelayMs);
  TResult result = TResult::GaveUp;
  for (attempts_ = 1; attempts_ <= kMaxAttempts; ++attempts_) {
    if (TryOnce()) {
      result = TResult::Replaced;
      break;
    }
    if (attempts_ < kMaxAttempts) host_.Sleep(kRetryPauseMs);
  }
  if (result == TResult::GaveUp) {
    attempts_ = kMaxAttempts;
    host_.Log("replace " + ExePath() + " failed after " + std::to_string(kMaxAttempts) + " attempts, " + UpdatePath() +
              " kept");
  }
  host_.StartProgram(ExePath());
  return result;
}

bool CopyWholeFileTo(const std::string& from, const std::string& to) {
  plat::TFileStream in;
  if (!in.Open(from, plat::TFileStream::Mode::Read)) return false;
  plat::TFileStream out;
  if (!out.Open(to, plat::TFileStream::Mode::Create)) return false;
  std::vector<char> block(1 << 20);
  bool ok = true;
  for (;;) {
    int64_t got = in.Read(block.data(), block.size());
    if (got < 0) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!out.Write(block.data(), static_cast<size_t>(got))) {
      ok = false;
      break;
    }
  }
  ok = out.Flush() && ok;
  out.Close();
  if (!ok) plat::DeleteFile(to);
  return ok;
}

}  // namespace lg
