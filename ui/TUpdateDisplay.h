// The main window's side of the two update passes: what each message of
// the update worker changes, what the 500 ms display timer shows, when the
// launcher pass starts, and when a new launcher takes over. The window
// owns one and forwards its WM_UPDATE_* messages and timer ticks to it; the
// window itself does the drawing, the worker's lifetime and the system
// calls through the host interface.
//
// Main thread only. The host is borrowed and must outlive this object.
// Once BeginClosing has been called every later update message is dropped
// (a status text's heap block is still freed) and the host is not called
// again, so messages still queued while the window goes away touch no
// freed state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lg {

struct IUpdateDisplayHost {
  // Creates and starts the worker of one pass with the window as the
  // receiver of its messages; answers the worker's "UpdateNow" value.
  virtual uint8_t StartWorker(int pass, const std::string& localState, const std::string& manifest,
                              const std::string& urlBase) = 0;
  // Destroys the finished worker (its log is saved then).
  virtual void DestroyWorker() = 0;
  virtual void SetUpdatingMode() = 0;
  // Ready mode: the window's ready layout, the server-list request, the
  // start button enabled, "更新完成" on the status line, both bars full.
  virtual void EnterReadyMode() = 0;
  virtual void ShowSkipLabel() = 0;
  virtual void ShowCloseButton() = 0;
  // The hand-over's system calls.
  virtual void TerminateProcesses(const std::string& imageName) = 0;
  virtual void Sleep(uint32_t ms) = 0;
  virtual void RunProcess(const std::string& path) = 0;
  // Ends the application after the current message.
  virtual void EndApplication() = 0;

 protected:
  ~IUpdateDisplayHost() = default;
};

// What one display tick puts on screen.
struct TUpdateView {
  std::optional<std::u16string> StatusLine;  // unset until a text arrived
  int32_t TotalPos = 0, TotalMax = 0;
  int32_t CurPos = 0, CurMax = 0;
};

class TUpdateDisplay {
 public:
  static constexpr uint32_t kHandOverPauseMs = 200;

  // `folder` is the launcher's folder with its separator, `stem` its file
  // name without extension; the two base addresses are passes 0 and 1's.
  TUpdateDisplay(IUpdateDisplayHost& host, std::string folder, std::string stem, std::string clientUrl,
                 std::string launcherUrl);

  // Starts the worker for UpdatePass().
  void StartUpdatePass();
  // True when `message` is one of the worker's (handled or dropped).
  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // No update message is acted on after this.
  void BeginClosing() { closing_ = true; }
  bool Closing() const { return closing_; }
  // The 500 ms tick: nothing while the window is hidden or minimised.
  std::optional<TUpdateView> Tick(bool hiddenOrMinimised) const;

  // "<stem>.update" differs from "<stem>.exe" (both present, whole-file
  // MD5 digests compared).
  bool NewLauncherWaiting() const;

  int UpdatePass() const { return pass_; }
  bool CloseOnDone() const { return closeOnDone_; }
  const std::string& StatusText() const { return statusText_; }
  const std::string& SpeedText() const { return speedText_; }

 private:
  void PassFinished(uintptr_t result, intptr_t pass);
  // True when the application is ending.
  bool LauncherHandOver();

  IUpdateDisplayHost& host_;
  const std::string folder_;
  const std::string stem_;
  const std::string clientUrl_;
  const std::string launcherUrl_;

  int pass_ = 0;
  bool closeOnDone_ = false;
  bool closing_ = false;
  bool textShown_ = false;  // a status or speed text has arrived
  std::string statusText_;
  std::string speedText_;
  int32_t totalPos_ = 0, totalMax_ = 0;
  int32_t curPos_ = 0, curMax_ = 0;
};

// bytes / ms * 1000 / 1024 rounded to the nearest integer, halves to the
// even neighbour, as "速度 %d KB/s" (GBK). `ms` must be positive.
std::string FormSpeedText(uint64_t bytes, int64_t ms);

// "%-30s %s": the status padded with blanks to 30 bytes (a longer one is
// kept whole), one blank, the speed.
std::string FormStatusLine(const std::string& status, const std::string& speed);

// "版本号 : 1.0.0" (GBK), shown before the first status.
std::string VersionLine();

}  // namespace lg
