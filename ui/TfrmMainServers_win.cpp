// The main window's server choice: the request, the reply's window side and
// the two popups.
#include "common/Platform.h"
#include "ui/TfrmMain.h"

namespace lg {

void TfrmMain::RequestServerList() {
  model_.RequestServerList();
  Sync();
}

void TfrmMain::ServerListArrived() {
  std::unique_ptr<TServerListResult> result = replies_.Take();
  if (!result) return;  // a newer reply was already applied
  model_.ApplyServerList(*result);
  Sync();
}

void TfrmMain::ShowServerPopup() {
  if (popup_) DestroyWindow(popup_->Handle());
  const TControlState& label = model_.State(TMainControl::lbCurSelSrv);
  POINT at = {label.bounds.left, label.bounds.top + label.bounds.height};
  ClientToScreen(hwnd_, &at);
  const TServerPopupImages images{serverBkActive_.get(), serverBkNormal_.get(), serverNewMark_.get()};
  popup_ = TfrmServerList::ShowServers(at, model_.ServerNames(), model_.CurrentServer().member, images, this);
}

void TfrmMain::ShowGroupPopup() {
  if (popup_) DestroyWindow(popup_->Handle());
  const TControlState& label = model_.State(TMainControl::lbMember);
  POINT at = {label.bounds.left, label.bounds.top + label.bounds.height};
  ClientToScreen(hwnd_, &at);
  const TServerPopupImages images{serverBkActive_.get(), serverBkNormal_.get(), serverNewMark_.get()};
  popup_ = TfrmServerList::ShowGroups(at, model_.ServerNames(), images, this);
}

void TfrmMain::PopupClosed(TfrmServerList* popup) {
  if (popup_ == popup) popup_ = nullptr;
}

}  // namespace lg
