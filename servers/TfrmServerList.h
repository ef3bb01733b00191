// The server selection popup window (Windows only): a borderless popup with
// a drop shadow under a label of the main window, an owner-drawn list of
// 32-pixel rows, an orange one-pixel border. The row under the pointer is
// the selected one; a click, Enter or Escape commits it; losing the focus or
// the foreground closes the popup.
//
// Threads: the user-interface thread. Each opening creates a popup that
// deletes itself when its window is destroyed (after telling the owner).
// The popup copies its rows when it opens (TServerPopup), so the owner may
// replace its server list while the popup is open. The images belong to the
// owner and must outlive the popup: the owner closes an open popup before it
// frees them.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// WIN32_LEAN_AND_MEAN leaves out the COM types GDI+ needs (PROPID, IStream).
#include <ole2.h>

#include <gdiplus.h>

#include "servers/TServerPopup.h"

namespace lg {

struct TServerPopupImages {
  Gdiplus::Image* active = nullptr;   // "server_bk_active": selected row
  Gdiplus::Image* normal = nullptr;   // "server_bk_normal"
  Gdiplus::Image* newMark = nullptr;  // "server_new": highlighted servers
};

class IServerPopupOwner {
 public:
  virtual ~IServerPopupOwner() = default;
  virtual void SelectServer(const TServerInfo& record) = 0;
  virtual void SelectMember(const std::string& member) = 0;
  // The popup's window is going; `popup` is deleted right after.
  virtual void PopupClosed(class TfrmServerList* popup) = 0;
};

class TfrmServerList {
 public:
  static constexpr int kWidth = 245;
  static constexpr UINT_PTR kForegroundTimer = 1;
  static constexpr UINT kForegroundIntervalMs = 10;
  // Font size of the row text in points (15 pixels at 96 dpi).
  static constexpr int kFontPoints = 11;
  static constexpr const wchar_t* kClassName = L"TfrmServerList";

  // Opens a popup at screen point `at` (its top-left corner). Null when the
  // window cannot be created.
  static TfrmServerList* ShowServers(POINT at, const std::vector<TServerName>& names, const std::string& currentMember,
                                     const TServerPopupImages& images, IServerPopupOwner* owner);
  static TfrmServerList* ShowGroups(POINT at, const std::vector<TServerName>& names, const TServerPopupImages& images,
                                    IServerPopupOwner* owner);

  // One row drawn into a new 32-bit ARGB bitmap of the given size; null when
  // the bitmap or its graphics cannot be made.
  static std::unique_ptr<Gdiplus::Bitmap> RenderRow(const TServerPopup& rows, int index, bool selected, int width,
                                                    int height, const TServerPopupImages& images);

  HWND Handle() const { return hwnd_; }
  HWND List() const { return list_; }
  const TServerPopup& Rows() const { return rows_; }
  // Commits the selected row and closes (the list's click, Enter, Escape).
  void CommitAndClose();
  void Close();

 private:
  TfrmServerList(TPopupMode mode, const std::vector<TServerName>& names, const std::string& currentMember,
                 const TServerPopupImages& images, IServerPopupOwner* owner);
  static TfrmServerList* Open(TfrmServerList* popup, POINT at);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void DrawItem(const DRAWITEMSTRUCT& item);
  void PaintBorder();

  TServerPopup rows_;
  TServerPopupImages images_;
  IServerPopupOwner* owner_;
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  WNDPROC listProc_ = nullptr;
  bool closing_ = false;
};

}  // namespace lg
