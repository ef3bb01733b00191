#include "Library/gdiplus/DrawHelpers.h"

#include "common/Platform.h"

namespace lg::skin {

std::unique_ptr<Gdiplus::StringFormat> MakeTextFormat() {
  auto f = std::make_unique<Gdiplus::StringFormat>(Gdiplus::StringFormatFlagsNoWrap, LANG_NEUTRAL);
  f->SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  f->SetAlignment(Gdiplus::StringAlignmentNear);
  return f;
}

void PaintPlainFrame(HDC dc, const TLGControl& c, COLORREF topLeft, long bottomRight) {
  RECT r{c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()};
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (c.Width() <= 0 || c.Height() <= 0) return;
  HPEN light = CreatePen(PS_SOLID, 1, topLeft);
  HGDIOBJ old = SelectObject(dc, light);
  MoveToEx(dc, r.left, r.bottom - 1, nullptr);
  LineTo(dc, r.left, r.top);
  LineTo(dc, r.right, r.top);
  if (bottomRight >= 0) {
    HPEN dark = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(bottomRight));
    SelectObject(dc, dark);
    MoveToEx(dc, r.right - 1, r.top, nullptr);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.left - 1, r.bottom - 1);
    SelectObject(dc, light);
    DeleteObject(dark);
  }
  SelectObject(dc, old);
  DeleteObject(light);
}

void PaintPlainText(HDC dc, const TLGControl& c, const std::string& text, COLORREF color) {
  if (text.empty()) return;
  const std::u16string wide = plat::Utf16FromGbk(text);
  const TLGFont& f = c.Font();
  LOGFONTW lf{};
  lf.lfHeight = FontHeightFromSize(f.Size);
  const size_t n = std::min(f.Name.size(), static_cast<size_t>(LF_FACESIZE - 1));
  for (size_t i = 0; i < n; ++i) lf.lfFaceName[i] = static_cast<WCHAR>(f.Name[i]);
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfWeight = f.Bold ? FW_BOLD : FW_NORMAL;
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, color);
  RECT r{c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()};
  DrawTextW(dc, Wide(wide), static_cast<int>(wide.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
  DeleteObject(font);
}

}  // namespace lg::skin
