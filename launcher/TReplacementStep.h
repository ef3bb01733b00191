// The replacement step of the launcher's self-update: a copy started as
// "<name>.update" puts itself in place of "<name>.exe" and starts it.
//
// The new launcher is first copied to a temporary sibling ("<name>.exe.new")
// and then moved over "<name>.exe" in one rename that replaces the target,
// so a step killed at any moment leaves either the old or the new launcher
// whole under "<name>.exe". A rename that fails (the old launcher still
// runs and holds its image) ends every process of that image name, clears
// the target's attributes and tries again; a copy that cannot complete
// removes the temporary file and keeps "<name>.update" for the next start.
// Both are bounded: after kMaxAttempts the step logs one line and gives up,
// and starts whatever "<name>.exe" is there.
//
// Main thread of the replacement process only. The host is borrowed.
#pragma once

#include <cstdint>
#include <string>

namespace lg {

struct IReplacementHost {
  // Copies a whole file, replacing `to`; false when it did not complete.
  virtual bool CopyWholeFile(const std::string& from, const std::string& to) = 0;
  // Moves `from` over `to`, replacing it in one step.
  virtual bool RenameOver(const std::string& from, const std::string& to) = 0;
  virtual void DeleteFile(const std::string& path) = 0;
  virtual void ClearAttributes(const std::string& path) = 0;
  // Ends every running process whose image file name is `imageName`, in
  // any letter case.
  virtual void TerminateProcesses(const std::string& imageName) = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // Starts `path` with no arguments in its own folder; false when it could
  // not be started.
  virtual bool StartProgram(const std::string& path) = 0;
  virtual void Log(const std::string& line) = 0;

 protected:
  ~IReplacementHost() = default;
};

class TReplacementStep {
 public:
  static constexpr uint32_t kStartDelayMs = 500;
  static constexpr int kMaxAttempts = 20;
  static constexpr uint32_t kRetryPauseMs = 250;

  enum class TResult { Replaced, GaveUp };

  // `folder` ends with a separator; `stem` is the launcher's name without
  // its extension.
  TReplacementStep(IReplacementHost& host, std::string folder, std::string stem);

  // Waits, replaces, starts "<name>.exe". The result says whether the new
  // launcher is in place; the start happens either way.
  TResult Run();

  std::string ExePath() const { return folder_ + stem_ + ".exe"; }
  std::string UpdatePath() const { return folder_ + stem_ + ".update"; }
  std::string TempPath() const { return folder_ + stem_ + ".exe.new"; }
  int Attempts() const { return attempts_; }

 private:
  bool TryOnce();

  IReplacementHost& host_;
  const std::string folder_;
  const std::string stem_;
  int attempts_ = 0;
};

// Copies `from` to `to` through the platform layer's files in 1 MiB
// blocks, replacing `to`. A partial target is removed on failure.
bool CopyWholeFileTo(const std::string& from, const std::string& to);

}  // namespace lg
