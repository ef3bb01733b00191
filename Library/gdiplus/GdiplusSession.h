// GDI+ start-up and shut-down for the lifetime of one object, and the image
// helpers the skin needs: decoding an image file held in memory (the
// deployment block's records) or on disk into a bitmap, and cutting a glyph
// strip into its four state images. Windows only.
//
// Any thread may decode; bitmaps belong to whoever receives the pointer.
#pragma once

#include <windows.h>

// WIN32_LEAN_AND_MEAN leaves out the COM types GDI+ needs (PROPID, IStream).
#include <ole2.h>

#include <gdiplus.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace lg::skin {

class TGdiplusSession {
 public:
  TGdiplusSession();
  ~TGdiplusSession();
  TGdiplusSession(const TGdiplusSession&) = delete;
  TGdiplusSession& operator=(const TGdiplusSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

// A bitmap decoded from the bytes of an image file (PNG, JPEG, BMP, GIF),
// through a COM stream over a private copy of the bytes; the bitmap keeps no
// reference to `bytes`. Null when the bytes do not decode.
std::unique_ptr<Gdiplus::Bitmap> BitmapFromBytes(std::string_view bytes);
// A bitmap decoded from a file (GBK path), read into memory first so the
// file is not held open. Null when it cannot be read or decoded.
std::unique_ptr<Gdiplus::Bitmap> BitmapFromFile(const std::string& path);

// The four state images of a glyph strip (cells as GlyphCells gives them),
// each a new bitmap of the strip's pixel format.
std::array<std::unique_ptr<Gdiplus::Bitmap>, 4> CutGlyphStrip(Gdiplus::Bitmap& strip, bool vertical);

// A GDI+ font as the controls make it: from the screen's device context and
// a font description of height -MulDiv(size, 96, 72), face `name`, default
// character set, anti-aliased quality, weight 1000 for bold, else 0.
std::unique_ptr<Gdiplus::Font> MakeControlFont(const std::u16string& name, int size, bool bold);

// Wide text for the GDI+ calls.
inline const WCHAR* Wide(const std::u16string& s) {
  return reinterpret_cast<const WCHAR*>(s.c_str());
}

// The control's own painting on the parent's device context, used before
// the parent composes it (the platform asking the control to paint itself).
class ILGSelfPaint {
 public:
  virtual ~ILGSelfPaint() = default;
  virtual void Paint(HDC dc) = 0;
};

}  // namespace lg::skin
