#include "ui/TfrmMainProgram.h"

#include "DeploymentDefaults.h"
#include "common/Deployment.h"
#include "common/Gbk.h"
#include "common/Platform.h"
#include "launch/InstallLocation.h"
#include "launch/LaunchClient.h"
#include "launch/Processes.h"
#include "launcher/Diagnostics.h"
#include "ui/TfrmMain.h"
#include "update/UpdateMessages.h"

namespace lg {
namespace {

uint32_t SeedValue() {
  LARGE_INTEGER counter;
  if (QueryPerformanceCounter(&counter)) return static_cast<uint32_t>(counter.QuadPart);
  return GetTickCount();
}

}  // namespace

void TfrmMainProgram::TSink::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  // A status text nobody will receive is freed here.
  if (!PostMessageW(window_, message, wParam, lParam) && message == WM_UPDATE_STATUS) TakeStatusText(wParam, lParam);
}

TfrmMainProgram::TfrmMainProgram(TfrmMain& window) : window_(window) {}

TfrmMainProgram::~TfrmMainProgram() {
  Destroy();
}

void TfrmMainProgram::FormCreate() {
  random_.seed(SeedValue());
  const HWND hwnd = window_.Handle();
  sink_ = std::make_unique<TSink>(hwnd);
  display_ = std::make_unique<TUpdateDisplay>(static_cast<IUpdateDisplayHost&>(*this), LauncherFolder(), ExeStem(),
                                              _ClientPatchUrl, _LauncherPathUrl);
  clients_ = std::make_unique<TClientWatch>(SystemExitCodes(), SystemRelease());
  form1_ = std::make_unique<TForm1>(reinterpret_cast<intptr_t>(hwnd));
  LogError("form create wb create");
  news_ = std::make_unique<TNewsBrowser>(reinterpret_cast<intptr_t>(hwnd), _NewsPageUrl);
}

void TfrmMainProgram::Initialized() {
  const TRect& r = window_.Model().State(TMainControl::NewsBrowser).bounds;
  news_->SetBounds(r.left, r.top, r.width, r.height);
  if (!CheckInstallLocation(reinterpret_cast<intptr_t>(window_.Handle()), *form1_)) {
    LogError("installed copy started, launcher ends");
    EndApplication();
    return;
  }
  display_->StartUpdatePass();
}

bool TfrmMainProgram::UpdateMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return display_ && display_->OnMessage(message, wParam, lParam);
}

void TfrmMainProgram::UpdateTimerTimer() {
  const HWND hwnd = window_.Handle();
  auto view = display_->Tick(window_.Hidden() || IsIconic(hwnd));
  if (!view) return;
  TMainWindowModel& m = window_.Model();
  if (view->StatusLine) m.State(TMainControl::LBStatus).text = *view->StatusLine;
  if (m.State(TMainControl::LGPTotal).visible) {
    m.State(TMainControl::LGPTotal).max = view->TotalMax;
    m.State(TMainControl::LGPTotal).position = view->TotalPos;
    m.State(TMainControl::LGCurrent).max = view->CurMax;
    m.State(TMainControl::LGCurrent).position = view->CurPos;
  }
  window_.Sync();
}

void TfrmMainProgram::ClientWatch() {
  const HWND hwnd = window_.Handle();
  const TClientWatch::TTick tick = clients_->Tick(window_.Hidden());
  if (window_.Model().CurrentServer().id >= 1) {
    window_.Model().State(TMainControl::LGStart).enabled = true;
    window_.Sync();
  }
  switch (tick) {
    case TClientWatch::TTick::KeepWatching: break;
    case TClientWatch::TTick::StopTimer:
      KillTimer(hwnd, TfrmMain::kRunTimer);
      runTimer_ = false;
      break;
    case TClientWatch::TTick::CloseWindow:
      LogError("last client ended, hidden launcher closes");
      PostMessageW(hwnd, WM_CLOSE, 0, 0);
      break;
  }
}

void TfrmMainProgram::LGStartClick() {
  const TServerInfo server = window_.Model().CurrentServer();
  if (server.id == 0) return;
  TRandomIndex random = [this](uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); };
  if (LaunchClient(reinterpret_cast<intptr_t>(window_.Handle()), server, *clients_, random))
    SetTimer(window_.Handle(), TfrmMain::kRunTimer, 100, nullptr);
}

void TfrmMainProgram::CloseQuery() {
  if (display_) display_->BeginClosing();
  // The worker's destructor stops the pass at once (a blocked fetch is
  // aborted) and waits for its thread; it leaves no lock held.
  worker_.reset();
  MSG msg;
  const HWND hwnd = window_.Handle();
  while (hwnd && PeekMessageW(&msg, hwnd, WM_UPDATE_STATUS, WM_UPDATE_STATUS, PM_REMOVE))
    TakeStatusText(msg.wParam, msg.lParam);
}

void TfrmMainProgram::Destroy() {
  if (display_) display_->BeginClosing();
  worker_.reset();
  if (clients_) clients_->Clear();
  news_.reset();
  form1_.reset();
}

bool TfrmMainProgram::ForwardKeyMessage(MSG* message) {
  return news_ && news_->ForwardKeyMessage(message);
}

uint8_t TfrmMainProgram::StartWorker(int pass, const std::string& localState, const std::string& manifest,
                                     const std::string& urlBase) {
  LogError("update pass " + std::to_string(pass) + ": " + urlBase + "/" + manifest + ", " + localState);
  TUpdateThreadOptions options;
  // The build's update key; empty keeps the unsigned behaviour.
  options.PublicKey = defaults::kUpdatePublicKey;
  options.Pipelined = defaults::kPipelinedTransfer;
  worker_ = std::make_unique<TUpdateThread>(*sink_, pass, urlBase, std::move(options));
  return worker_->UpdateMode();
}

void TfrmMainProgram::DestroyWorker() {
  worker_.reset();
}

void TfrmMainProgram::SetUpdatingMode() {
  window_.SetUpdatingMode();
}

void TfrmMainProgram::EnterReadyMode() {
  window_.SetReadyMode();
  window_.RequestServerList();
  TMainWindowModel& m = window_.Model();
  m.State(TMainControl::LGStart).enabled = true;
  m.State(TMainControl::LBStatus).text = plat::Utf16FromGbk(Gbk("更新完成"));
  for (TMainControl bar : {TMainControl::LGPTotal, TMainControl::LGCurrent}) m.State(bar).position = m.State(bar).max;
  window_.Sync();
  if (news_) news_->Show();
  LogError("update finished, ready mode");
}

void TfrmMainProgram::ShowSkipLabel() {
  window_.Model().State(TMainControl::lbIngUpdate).visible = true;
  window_.Sync();
}

void TfrmMainProgram::ShowCloseButton() {
  window_.Model().State(TMainControl::LGClose).visible = true;
  window_.Sync();
}

void TfrmMainProgram::TerminateProcesses(const std::string& imageName) {
  TerminateProcessesNamed(imageName);
}

void TfrmMainProgram::Sleep(uint32_t ms) {
  plat::SleepMs(ms);
}

void TfrmMainProgram::RunProcess(const std::string& path) {
  ReleaseHandle(lg::RunProcess(path, ""));
}

void TfrmMainProgram::EndApplication() {
  PostMessageW(window_.Handle(), WM_CLOSE, 0, 0);
}

}  // namespace lg
