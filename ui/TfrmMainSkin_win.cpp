// The main window's skin: positions and images from the deployment block,
// and the off-screen composition of the whole picture.
#include "common/Gbk.h"
#include "common/Platform.h"
#include "launcher/BlockSource.h"
#include "launcher/ConfigBlock.h"
#include "launcher/Diagnostics.h"
#include "launcher/SkinLayout.h"
#include "ui/TfrmMain.h"

namespace lg {

void TfrmMain::ResetComponentOffset() {
  TFileBlockSource source(options_.blockPath);
  lg::ResetComponentOffset(source, CurrentPlacement(), [this](int record, int field, int value) {
    const std::optional<TMainControl> c = ControlByName(kPositionRecords[record].control);
    if (!c) return;
    TRect& b = model_.State(*c).bounds;
    switch (field) {
      case 0: b.left = value; break;
      case 1: b.top = value; break;
      case 2: b.width = value; break;
      case 3: b.height = value; break;
    }
  });
  // What follows each record happens whether or not its values were read.
  for (const TPositionRecord& rec : kPositionRecords) {
    const std::optional<TMainControl> c = ControlByName(rec.control);
    if (!c) continue;
    switch (rec.after) {
      case TPositionAfter::DisableButton: model_.State(*c).enabled = false; break;
      case TPositionAfter::ZeroXOffset:
        if (auto* bar = As<skin::TLGProgress2>(*c)) bar->SetXOffset(0);
        break;
      case TPositionAfter::SetTag: model_.State(*c).tag = rec.tag; break;
      case TPositionAfter::None: break;
    }
  }
  // The status line until the first status text arrives.
  model_.State(TMainControl::LBStatus).text = plat::Utf16FromGbk(Gbk("版本号 : 1.0.0"));
  Sync();
}

void TfrmMain::LoadImageresource() {
  // The popup draws with the row images: none may be open while they change.
  if (popup_) DestroyWindow(popup_->Handle());
  TFileBlockSource source(options_.blockPath);
  lg::LoadImageresource(source, CurrentPlacement(), [this](const TImageRead& read, std::string&& bytes) {
    std::unique_ptr<Gdiplus::Bitmap> image = skin::BitmapFromBytes(bytes);
    if (!image) {
      LogError(std::string("load img ") + kImageNames[read.image] + " does not decode");
      return;
    }
    const std::optional<TMainControl> c = ControlByName(read.control);
    switch (read.use) {
      case TSkinUse::Background: {
        const int w = static_cast<int>(image->GetWidth()), h = static_cast<int>(image->GetHeight());
        background_ = std::move(image);
        SetClientSize(w, h);
        break;
      }
      case TSkinUse::ButtonState:
        if (c) As<skin::TLGButton>(*c)->SetImage(read.state, std::move(image));
        break;
      case TSkinUse::Picture:
        if (c) As<skin::TLGPicture>(*c)->SetImage(std::move(image));
        break;
      case TSkinUse::ProgressBack:
        if (c) As<skin::TLGProgress2>(*c)->SetBkgImage(std::move(image));
        break;
      case TSkinUse::ProgressStep:
        if (c) As<skin::TLGProgress2>(*c)->SetStepImage(std::move(image));
        break;
      case TSkinUse::PopupActive: serverBkActive_ = std::move(image); break;
      case TSkinUse::PopupNormal: serverBkNormal_ = std::move(image); break;
      case TSkinUse::PopupNew: serverNewMark_ = std::move(image); break;
    }
  });
}

void TfrmMain::SetClientSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  clientWidth_ = width;
  clientHeight_ = height;
  RECT r = {0, 0, width, height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
  SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::unique_ptr<Gdiplus::Bitmap> TfrmMain::Compose() {
  auto picture = std::make_unique<Gdiplus::Bitmap>(clientWidth_, clientHeight_, PixelFormat32bppARGB);
  if (picture->GetLastStatus() != Gdiplus::Ok) return nullptr;
  Gdiplus::Graphics g(picture.get());
  if (g.GetLastStatus() != Gdiplus::Ok) return nullptr;
  if (background_)
    g.DrawImage(background_.get(), 0, 0, static_cast<INT>(background_->GetWidth()),
                static_cast<INT>(background_->GetHeight()));
  for (skin::TLGControl* c : dispatcher_.Children()) c->PaintTo(&g);
  return picture;
}

void TfrmMain::PaintChilds() {
  if (hidden_ || !hwnd_ || IsIconic(hwnd_)) return;
  std::unique_ptr<Gdiplus::Bitmap> picture = Compose();
  if (!picture) {
    CompositionFailed();
    return;
  }
  HDC dc = GetDC(hwnd_);
  {
    Gdiplus::Graphics screen(dc);
    screen.DrawImage(picture.get(), 0, 0, clientWidth_, clientHeight_);
  }
  ReleaseDC(hwnd_, dc);
}

void TfrmMain::CompositionFailed() {
  KillTimer(hwnd_, kRunTimer);
  KillTimer(hwnd_, kUpdateTimer);
  MessageBoxW(nullptr, L"显示驱动初始化失败！", L"启动错误", MB_ICONWARNING);
  DestroyWindow(hwnd_);
}

}  // namespace lg
