#include "ui/TUpdateDisplay.h"

#include <cmath>
#include <cstdint>

#include "common/Gbk.h"
#include "common/Md5.h"
#include "common/OperatorServices.h"
#include "common/Platform.h"
#include "update/UpdateMessages.h"

namespace lg {

std::string FormSpeedText(uint64_t bytes, int64_t ms) {
  uint64_t q = 0;
  const uint64_t den = static_cast<uint64_t>(ms) * 1024u;
  if (bytes <= UINT64_MAX / 1000u && static_cast<uint64_t>(ms) <= UINT64_MAX / 1024u) {
    // Exact rational rounding: the floating-point route can put a true half
    // a hair above or below .5 and round it the wrong way.
    const uint64_t num = bytes * 1000u;
    q = num / den;
    const uint64_t r = num % den;
    if (r > den - r || (r == den - r && (q & 1) != 0)) ++q;
  } else {
    q = static_cast<uint64_t>(
        std::nearbyint(static_cast<long double>(bytes) * 1000.0L / (static_cast<long double>(ms) * 1024.0L)));
  }
  return Gbk("速度 ") + std::to_string(q) + " KB/s";
}

std::string FormStatusLine(const std::string& status, const std::string& speed) {
  std::string line = status;
  if (line.size() < 30) line.append(30 - line.size(), ' ');
  line += ' ';
  line += speed;
  return line;
}

std::string VersionLine() {
  return Gbk("版本号 : ") + "1.0.0";
}

TUpdateDisplay::TUpdateDisplay(IUpdateDisplayHost& host, std::string folder, std::string stem, std::string clientUrl,
                               std::string launcherUrl)
    : host_(host),
      folder_(std::move(folder)),
      stem_(std::move(stem)),
      clientUrl_(std::move(clientUrl)),
      launcherUrl_(std::move(launcherUrl)) {}

void TUpdateDisplay::StartUpdatePass() {
  const bool launcherPass = pass_ == 1;
  const std::string state = "data\\update" + std::to_string(pass_) + ".local";
  const std::string manifest(launcherPass ? ops::kLauncherManifestName : ops::kClientManifestName);
  uint8_t mode = host_.StartWorker(pass_, state, manifest, launcherPass ? launcherUrl_ : clientUrl_);
  if (mode != 0) host_.SetUpdatingMode();
  closeOnDone_ = mode == 2;
}

bool TUpdateDisplay::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_UPDATE_FILEPROGRESS:
    case WM_UPDATE_PROGRESS:
    case WM_UPDATE_SPEED:
    case WM_UPDATE_DONE:
    case WM_UPDATE_ERROR: break;
    case WM_UPDATE_STATUS: {
      // The block is ours whatever happens next.
      std::string text = TakeStatusText(wParam, lParam);
      if (!closing_) {
        statusText_ = std::move(text);
        textShown_ = true;
      }
      return true;
    }
    default: return false;
  }
  if (closing_) return true;
  switch (message) {
    case WM_UPDATE_FILEPROGRESS:
      curPos_ = static_cast<int32_t>(wParam);
      curMax_ = static_cast<int32_t>(lParam);
      break;
    case WM_UPDATE_PROGRESS:
      totalPos_ = static_cast<int32_t>(wParam);
      totalMax_ = static_cast<int32_t>(lParam);
      break;
    case WM_UPDATE_SPEED:
      if (lParam > 0) {
        speedText_ = FormSpeedText(static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam));
        textShown_ = true;
      }
      break;
    case WM_UPDATE_DONE: PassFinished(wParam, lParam); break;
    case WM_UPDATE_ERROR: host_.ShowSkipLabel(); break;
  }
  return true;
}

void TUpdateDisplay::PassFinished(uintptr_t result, intptr_t pass) {
  host_.DestroyWorker();
  if (closeOnDone_) {
    host_.ShowCloseButton();
    closeOnDone_ = false;
  }
  if (pass == 0) {
    pass_ = 1;
    host_.SetUpdatingMode();
    StartUpdatePass();
    return;
  }
  if (pass != 1) return;
  if (result == 1 && LauncherHandOver()) return;
  host_.EnterReadyMode();
  speedText_.clear();
  statusText_ = "100%";
  textShown_ = true;
  totalPos_ = totalMax_ = curPos_ = curMax_ = 100;
}

bool TUpdateDisplay::NewLauncherWaiting() const {
  const std::string exe = folder_ + stem_ + ".exe";
  const std::string upd = folder_ + stem_ + ".update";
  if (!plat::FileExists(exe) || !plat::FileExists(upd)) return false;
  return Md5OfFile(exe) != Md5OfFile(upd);
}

bool TUpdateDisplay::LauncherHandOver() {
  if (!NewLauncherWaiting()) return false;
  host_.TerminateProcesses(stem_ + ".update");
  host_.Sleep(kHandOverPauseMs);
  host_.RunProcess(folder_ + stem_ + ".update");
  host_.EndApplication();
  // Nothing may act on the window after this.
  closing_ = true;
  return true;
}

std::optional<TUpdateView> TUpdateDisplay::Tick(bool hiddenOrMinimised) const {
  if (hiddenOrMinimised) return std::nullopt;
  TUpdateView view;
  if (textShown_) view.StatusLine = plat::Utf16FromGbk(FormStatusLine(statusText_, speedText_));
  view.TotalPos = totalPos_;
  view.TotalMax = totalMax_;
  view.CurPos = curPos_;
  view.CurMax = curMax_;
  return view;
}

}  // namespace lg
