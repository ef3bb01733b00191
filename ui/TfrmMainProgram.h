// The main window's program side (Windows only): the update passes and
// their display, the game start and the watch of started clients, the
// install check, the install dialog and the news browser. TfrmMain owns
// one, creates it in FormCreate and calls it from its timers, its start
// button and its WM_UPDATE_* messages.
//
// Main thread only. The update worker reaches it only through messages
// posted to the window; from CloseQuery on, those are dropped (status
// texts freed) and the worker is gone, so nothing arriving while the
// window closes touches freed state.
#pragma once

#include <windows.h>

#include <memory>
#include <random>

#include "launch/TClientWatch.h"
#include "launch/TForm1.h"
#include "ui/TNewsBrowser.h"
#include "ui/TUpdateDisplay.h"
#include "update/IMessageSink.h"
#include "update/TUpdateThread.h"

namespace lg {

class TfrmMain;

class TfrmMainProgram final : private IUpdateDisplayHost {
 public:
  explicit TfrmMainProgram(TfrmMain& window);
  ~TfrmMainProgram();
  TfrmMainProgram(const TfrmMainProgram&) = delete;
  TfrmMainProgram& operator=(const TfrmMainProgram&) = delete;

  // FormCreate: random seed, client list, install dialog, news browser.
  void FormCreate();
  // The deferred initialisation's last steps: the news browser placed, the
  // install check, then pass 0 (unless this copy is ending).
  void Initialized();
  // A WM_UPDATE_* message: true when it was one (handled or dropped).
  bool UpdateMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void UpdateTimerTimer();
  // RunTimer after the deferred initialisation.
  void ClientWatch();
  void LGStartClick();
  // FormCloseQuery: the running pass stops at once.
  void CloseQuery();
  // FormDestroy: client records, worker and dialog released.
  void Destroy();
  // Keys for the news browser (Tab and the page's own keys).
  bool ForwardKeyMessage(MSG* message);

  bool Closing() const { return display_ && display_->Closing(); }

 private:
  class TSink final : public IMessageSink {
   public:
    explicit TSink(HWND window) : window_(window) {}
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

   private:
    HWND window_;
  };

  uint8_t StartWorker(int pass, const std::string& localState, const std::string& manifest,
                      const std::string& urlBase) override;
  void DestroyWorker() override;
  void SetUpdatingMode() override;
  void EnterReadyMode() override;
  void ShowSkipLabel() override;
  void ShowCloseButton() override;
  void TerminateProcesses(const std::string& imageName) override;
  void Sleep(uint32_t ms) override;
  void RunProcess(const std::string& path) override;
  void EndApplication() override;

  TfrmMain& window_;
  std::mt19937 random_;
  std::unique_ptr<TSink> sink_;
  std::unique_ptr<TUpdateDisplay> display_;
  std::unique_ptr<TUpdateThread> worker_;
  std::unique_ptr<TClientWatch> clients_;
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TNewsBrowser> news_;
  bool runTimer_ = false;
};

}  // namespace lg
