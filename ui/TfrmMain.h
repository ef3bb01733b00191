// The launcher's main window (Windows only): a borderless window of skinned,
// window-less controls composed off-screen in one pass (PaintChilds), in
// update mode while the update runs and in ready mode afterwards, with the
// server choice, the web-link buttons and the server-list exchange.
//
// The rules live in TMainWindowModel; every handler changes the model and
// then copies it into the controls (Sync). The window owns everything it
// creates: controls, images, the server list, the UDP client.
//
// Threads: everything runs on the window's thread except the server-list
// reply, which is read on the UDP socket's worker into a TServerListResult
// and handed over through a TLatestBox; the worker only posts
// kServerListArrived. The socket's worker ends (the client is destroyed)
// before the box and the server list go.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGButton.h"
#include "Library/gdiplus/TLGDispatcher.h"
#include "Library/gdiplus/TLGLabel.h"
#include "Library/gdiplus/TLGPicture.h"
#include "Library/gdiplus/TLGProgress2.h"
#include "servers/TServerConfig.h"
#include "servers/TServerListClient.h"
#include "servers/TfrmServerList.h"
#include "ui/TLatestBox.h"
#include "ui/TMainWindowModel.h"

namespace lg {

struct TfrmMainOptions {
  // The server-list service: host name, the address used when it does not
  // resolve, and the port.
  std::string listHost;
  std::string listFallbackIp;
  uint16_t listPort = 30000;
  // The file whose appended block holds the skin (the launcher itself).
  std::string blockPath;
  std::u16string title = u"Korvath";
  // The window ends the message loop when it is destroyed.
  bool quitOnDestroy = true;
  // Deployment values are read from the block at creation (InitConfig).
  bool readConfig = true;
  // Milliseconds for the request spacing and time-out; GetTickCount when
  // unset (tests drive it by hand).
  std::function<uint32_t()> clock;
  // The launcher program's side: the update passes, the game start, the
  // install check and the news browser (off for window-only hosts).
  bool runProgram = false;
};

class TfrmMainProgram;

class TfrmMain : public skin::IControlParent, public IServerPopupOwner {
 public:
  // Window messages (WM_USER = 0x400).
  static constexpr UINT kShowRequest = WM_USER + 1;
  static constexpr UINT kRepaintRequest = WM_USER + 1000;
  static constexpr UINT kServerListArrived = WM_APP + 1;
  // Timers.
  static constexpr UINT_PTR kRunTimer = 1, kUpdateTimer = 2, kPaintTimer = 3, kTimer1 = 4;

  explicit TfrmMain(TfrmMainOptions options);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Creates the window (hidden), the controls and the server-list client
  // (FormCreate), then shows it in update mode. False when the window
  // cannot be created.
  bool Create();
  HWND Handle() const { return hwnd_; }

  // The deferred initialisation of the first RunTimer tick: positions,
  // update mode, skin images, the first composition, then UpdateTimer.
  void Initialize();
  bool Initialized() const { return initialized_; }
  void ResetComponentOffset();
  void LoadImageresource();

  // Composes the window picture into a new client-sized ARGB bitmap; null
  // when the bitmap or its graphics cannot be made.
  std::unique_ptr<Gdiplus::Bitmap> Compose();
  // Composes and shows the picture (nothing while hidden or minimised).
  void PaintChilds();

  void SetUpdateMode();
  void SetUpdatingMode();
  void SetReadyMode();
  void SelectServer(const TServerInfo& record) override;
  void SelectMember(const std::string& member) override;
  void RequestServerList();

  TMainWindowModel& Model() { return model_; }
  // Copies the model's control states into the controls.
  void Sync();
  skin::TLGControl* Control(TMainControl c) const { return controls_[static_cast<size_t>(c)].get(); }
  TfrmServerList* Popup() const { return popup_; }
  bool Hidden() const { return hidden_; }
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }

  // Handlers the start-up, update display and game launch fill in.
  void LGStartClick();
  void UpdateTimerTimer();
  void RunTimerTimer();

  // The message loop's look at a message before dispatch: keys for the
  // news browser. True when it was taken.
  bool PreTranslateMessage(MSG* message);

  // IControlParent
  void PostToParent(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void InvalidateArea(int left, int top, int width, int height) override;
  std::string LauncherFolder() const override;
  // IServerPopupOwner
  void PopupClosed(TfrmServerList* popup) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void HookEvents();
  void SetClientSize(int width, int height);
  void CompositionFailed();
  void MouseDown(int x, int y);
  void MouseUp(int x, int y);
  void MouseMove(int x, int y);
  void LGBtnClick(skin::TLGControl* sender);
  void ShowServerPopup();
  void ShowGroupPopup();
  void ServerListArrived();
  void FormHide();
  void ShowRequest();
  template <typename T>
  T* As(TMainControl c) const {
    return static_cast<T*>(Control(c));
  }

  TfrmMainOptions options_;
  HWND hwnd_ = nullptr;
  bool initialized_ = false;
  bool hidden_ = false;
  bool trackingLeave_ = false;
  int clientWidth_ = kDesignedClientWidth;
  int clientHeight_ = kDesignedClientHeight;

  TMainWindowModel model_;
  skin::TLGDispatcher dispatcher_;
  std::array<std::unique_ptr<skin::TLGControl>, kMainControlCount> controls_;
  std::unique_ptr<Gdiplus::Image> background_;
  std::unique_ptr<Gdiplus::Image> serverBkActive_, serverBkNormal_, serverNewMark_;
  TfrmServerList* popup_ = nullptr;

  // Written by the UDP worker (through ReadServerList), read by nobody
  // else; the results cross over as copies.
  std::unique_ptr<TServerConfig> config_;
  TLatestBox<TServerListResult> replies_;
  std::unique_ptr<TfrmMainProgram> program_;
  // Last: destroyed first, which ends the UDP worker.
  std::unique_ptr<TServerListClient> client_;
};

}  // namespace lg
