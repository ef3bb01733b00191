#include "servers/TfrmServerList.h"

#include <windowsx.h>

#include "common/Platform.h"

namespace lg {
namespace {

constexpr int kListId = 100;

bool RegisterPopupClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW wc = {sizeof wc};
  wc.style = CS_DROPSHADOW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = TfrmServerList::kClassName;
  registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

std::wstring Wide(const std::string& gbk) {
  const std::u16string text = plat::Utf16FromGbk(gbk);
  return std::wstring(text.begin(), text.end());
}

}  // namespace

TfrmServerList::TfrmServerList(TPopupMode mode, const std::vector<TServerName>& names, const std::string& currentMember,
                               const TServerPopupImages& images, IServerPopupOwner* owner)
    : rows_(mode, names, currentMember), images_(images), owner_(owner) {}

TfrmServerList* TfrmServerList::ShowServers(POINT at, const std::vector<TServerName>& names,
                                            const std::string& currentMember, const TServerPopupImages& images,
                                            IServerPopupOwner* owner) {
  return Open(new TfrmServerList(TPopupMode::Servers, names, currentMember, images, owner), at);
}

TfrmServerList* TfrmServerList::ShowGroups(POINT at, const std::vector<TServerName>& names,
                                           const TServerPopupImages& images, IServerPopupOwner* owner) {
  return Open(new TfrmServerList(TPopupMode::Groups, names, std::string(), images, owner), at);
}

TfrmServerList* TfrmServerList::Open(TfrmServerList* popup, POINT at) {
  if (!RegisterPopupClass()) {
    delete popup;
    return nullptr;
  }
  const int height = popup->rows_.Height();
  // A tool window: the popup has no owner but no taskbar button either.
  HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, L"", WS_POPUP, at.x, at.y, kWidth, height,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) {
    delete popup;
    return nullptr;
  }
  popup->hwnd_ = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(popup));
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));

  popup->list_ = CreateWindowExW(
      0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
      1, 1, kWidth - 2, std::max(0, height - 2), hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
      GetModuleHandleW(nullptr), nullptr);
  if (popup->list_) {
    SendMessageW(popup->list_, LB_SETITEMHEIGHT, 0, TServerPopup::kRowHeight);
    for (int i = 0; i < popup->rows_.Count(); ++i) SendMessageW(popup->list_, LB_ADDSTRING, 0, i);
    SetWindowLongPtrW(popup->list_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(popup));
    popup->listProc_ =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(popup->list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
  }
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  if (popup->list_) SetFocus(popup->list_);
  SetTimer(hwnd, kForegroundTimer, kForegroundIntervalMs, nullptr);
  return popup;
}

void TfrmServerList::Close() {
  if (closing_) return;
  closing_ = true;
  // Posted: the popup may be inside one of its list's messages.
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TfrmServerList::CommitAndClose() {
  if (closing_) return;
  const TServerPopup::TCommit commit = rows_.Commit();
  Close();
  if (!owner_) return;
  if (commit.kind == TServerPopup::TCommit::SelectServer) owner_->SelectServer(commit.server);
  if (commit.kind == TServerPopup::TCommit::SelectMember) owner_->SelectMember(commit.member);
}

LRESULT CALLBACK TfrmServerList::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* popup = reinterpret_cast<TfrmServerList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!popup) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return popup->Handle(msg, wParam, lParam);
}

LRESULT TfrmServerList::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintBorder(); return 0;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = TServerPopup::kRowHeight;
      return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item && item->hwndItem == list_) DrawItem(*item);
      return TRUE;
    }
    case WM_COMMAND:
      // The list's click: also sent when the arrow keys move the selection,
      // so the first arrow key commits as well.
      if (reinterpret_cast<HWND>(lParam) == list_ && HIWORD(wParam) == LBN_SELCHANGE) {
        rows_.Select(static_cast<int>(SendMessageW(list_, LB_GETCURSEL, 0, 0)));
        CommitAndClose();
      }
      return 0;
    case WM_TIMER:
      if (wParam == kForegroundTimer && GetForegroundWindow() != hwnd_) Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) Close();
      break;
    case WM_CLOSE:
      closing_ = true;
      DestroyWindow(hwnd_);
      return 0;
    case WM_NCDESTROY: {
      KillTimer(hwnd_, kForegroundTimer);
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      if (list_) SetWindowLongPtrW(list_, GWLP_USERDATA, 0);
      HWND hwnd = hwnd_;
      if (owner_) owner_->PopupClosed(this);
      delete this;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK TfrmServerList::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* popup = reinterpret_cast<TfrmServerList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!popup) return DefWindowProcW(hwnd, msg, wParam, lParam);
  WNDPROC base = popup->listProc_;
  switch (msg) {
    case WM_MOUSEMOVE: {
      RECT client;
      GetClientRect(hwnd, &client);
      const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      if (x >= 0 && y >= 0 && x < client.right && y < client.bottom) {
        popup->rows_.TrackPointer(y, static_cast<int>(CallWindowProcW(base, hwnd, LB_GETTOPINDEX, 0, 0)));
        CallWindowProcW(base, hwnd, LB_SETCURSEL, static_cast<WPARAM>(popup->rows_.Selected()), 0);
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: popup->CommitAndClose(); return 0;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
        popup->CommitAndClose();
        return 0;
      }
      break;
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
    case WM_KILLFOCUS:
      CallWindowProcW(base, hwnd, msg, wParam, lParam);
      popup->Close();
      return 0;
  }
  return CallWindowProcW(base, hwnd, msg, wParam, lParam);
}

void TfrmServerList::PaintBorder() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT r;
  GetWindowRect(hwnd_, &r);
  HPEN pen = CreatePen(PS_SOLID, 1, TServerPopup::kBorderColour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, 0, 0, r.right - r.left, r.bottom - r.top);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  EndPaint(hwnd_, &ps);
}

std::unique_ptr<Gdiplus::Bitmap> TfrmServerList::RenderRow(const TServerPopup& rows, int index, bool selected,
                                                           int width, int height, const TServerPopupImages& images) {
  if (width <= 0 || height <= 0 || index < 0 || index >= rows.Count()) return nullptr;
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
  Gdiplus::Graphics g(bitmap.get());
  if (g.GetLastStatus() != Gdiplus::Ok) return nullptr;

  if (Gdiplus::Image* back = selected ? images.active : images.normal)
    g.DrawImage(back, 0, 0, static_cast<INT>(back->GetWidth()), static_cast<INT>(back->GetHeight()));
  if (rows.ShowsNewMark(index) && images.newMark) {
    const INT w = static_cast<INT>(images.newMark->GetWidth());
    g.DrawImage(images.newMark, width - w, 0, w, static_cast<INT>(images.newMark->GetHeight()));
  }

  LOGFONTW lf = {};
  HDC screen = GetDC(nullptr);
  lf.lfHeight = -MulDiv(kFontPoints, 96, 72);
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lf.lfWeight = 0;
  wcscpy_s(lf.lfFaceName, L"黑体");
  Gdiplus::Font font(screen, &lf);
  ReleaseDC(nullptr, screen);

  Gdiplus::StringFormat format;
  format.SetAlignment(Gdiplus::StringAlignmentNear);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
  const std::wstring text = Wide(rows.Rows()[index].text);
  const int left = TServerPopup::kTextLeft;
  Gdiplus::SolidBrush shadow(Gdiplus::Color(TServerPopup::kColourShadow));
  Gdiplus::SolidBrush brush(Gdiplus::Color(rows.TextColour(index, selected)));
  const Gdiplus::RectF shadowRect(static_cast<float>(left + 2), 2.0f, static_cast<float>(width), height * 1.0f);
  const Gdiplus::RectF textRect(static_cast<float>(left), 0.0f, static_cast<float>(width), height * 1.0f);
  g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, shadowRect, &format, &shadow);
  g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, textRect, &format, &brush);
  return bitmap;
}

void TfrmServerList::DrawItem(const DRAWITEMSTRUCT& item) {
  const int index = static_cast<int>(item.itemID);
  if (index < 0 || index >= rows_.Count()) return;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const RECT& r = item.rcItem;
  std::unique_ptr<Gdiplus::Bitmap> row = RenderRow(rows_, index, selected, r.right - r.left, r.bottom - r.top, images_);
  if (!row) {
    // Nothing can be drawn any more: end the application, as a failed
    // composition of the main window does.
    PostQuitMessage(1);
    return;
  }
  Gdiplus::Graphics screen(item.hDC);
  screen.DrawImage(row.get(), static_cast<INT>(r.left), static_cast<INT>(r.top), static_cast<INT>(row->GetWidth()),
                   static_cast<INT>(row->GetHeight()));
  // Together with the list's own focus frame this leaves no dotted frame.
  if (selected) DrawFocusRect(item.hDC, &r);
}

}  // namespace lg
