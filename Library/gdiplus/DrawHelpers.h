// Small GDI / GDI+ pieces the skinned controls share. Windows only.
#pragma once

#include "Library/gdiplus/GdiplusSession.h"
#include "Library/gdiplus/TLGControl.h"

namespace lg::skin {

// The controls' text format: no wrapping, neutral language, ellipsis
// trimming, near alignment until the control sets its own.
std::unique_ptr<Gdiplus::StringFormat> MakeTextFormat();

// The plain look of a control without images: the button face, framed one
// pixel wide with `topLeft` on the top and left edges and `bottomRight` on
// the others (a negative colour leaves those edges undrawn).
void PaintPlainFrame(HDC dc, const TLGControl& c, COLORREF topLeft, long bottomRight);
// `text` (GBK) centred on one line in the control's rectangle with its font.
void PaintPlainText(HDC dc, const TLGControl& c, const std::string& text, COLORREF color);

}  // namespace lg::skin
