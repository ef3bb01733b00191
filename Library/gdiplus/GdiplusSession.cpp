#include "Library/gdiplus/GdiplusSession.h"

#include <cstring>

#include "Library/gdiplus/SkinGeometry.h"
#include "Library/gdiplus/TLGControl.h"
#include "common/FileStream.h"

namespace lg::skin {

TGdiplusSession::TGdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
}

TGdiplusSession::~TGdiplusSession() {
  if (ok_) Gdiplus::GdiplusShutdown(token_);
}

namespace {

// A bitmap decoded from a stream may keep reading the stream for as long as
// it lives; copying the pixels into a bitmap of our own lets the stream and
// its memory go at once.
std::unique_ptr<Gdiplus::Bitmap> DetachedCopy(Gdiplus::Bitmap& source) {
  const UINT w = source.GetWidth(), h = source.GetHeight();
  if (w == 0 || h == 0) return nullptr;
  auto copy = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(w), static_cast<INT>(h), PixelFormat32bppARGB);
  if (copy->GetLastStatus() != Gdiplus::Ok) return nullptr;
  Gdiplus::Rect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
  Gdiplus::BitmapData from{}, to{};
  if (source.LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &from) != Gdiplus::Ok) return nullptr;
  if (copy->LockBits(&rect, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &to) != Gdiplus::Ok) {
    source.UnlockBits(&from);
    return nullptr;
  }
  for (UINT row = 0; row < h; ++row) {
    std::memcpy(static_cast<BYTE*>(to.Scan0) + static_cast<ptrdiff_t>(row) * to.Stride,
                static_cast<const BYTE*>(from.Scan0) + static_cast<ptrdiff_t>(row) * from.Stride, size_t{w} * 4);
  }
  copy->UnlockBits(&to);
  source.UnlockBits(&from);
  return copy;
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> BitmapFromBytes(std::string_view bytes) {
  if (bytes.empty()) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (block == nullptr) return nullptr;
  void* p = GlobalLock(block);
  if (p == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(block);
  IStream* stream = nullptr;
  // The stream owns the block and frees it when released.
  if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK || stream == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::unique_ptr<Gdiplus::Bitmap> result;
  {
    Gdiplus::Bitmap decoded(stream);
    if (decoded.GetLastStatus() == Gdiplus::Ok) result = DetachedCopy(decoded);
  }
  stream->Release();
  return result;
}

std::unique_ptr<Gdiplus::Bitmap> BitmapFromFile(const std::string& path) {
  plat::TFileStream file;
  if (!file.Open(path, plat::TFileStream::Mode::Read)) return nullptr;
  const int64_t size = file.Size();
  // Skin images are small; anything past 64 MiB is not one.
  if (size <= 0 || size > (int64_t{64} << 20)) return nullptr;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (file.Read(bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size())) return nullptr;
  return BitmapFromBytes(bytes);
}

std::array<std::unique_ptr<Gdiplus::Bitmap>, 4> CutGlyphStrip(Gdiplus::Bitmap& strip, bool vertical) {
  std::array<std::unique_ptr<Gdiplus::Bitmap>, 4> out;
  const auto cells = GlyphCells(static_cast<int>(strip.GetWidth()), static_cast<int>(strip.GetHeight()), vertical);
  const Gdiplus::PixelFormat format = strip.GetPixelFormat();
  for (int k = 0; k < 4; ++k) {
    const TRectI& c = cells[k];
    if (c.w <= 0 || c.h <= 0) continue;
    Gdiplus::Bitmap* cell = strip.Clone(c.x, c.y, c.w, c.h, format);
    if (cell != nullptr && cell->GetLastStatus() == Gdiplus::Ok) {
      out[k].reset(cell);
    } else {
      delete cell;
    }
  }
  return out;
}

std::unique_ptr<Gdiplus::Font> MakeControlFont(const std::u16string& name, int size, bool bold) {
  LOGFONTW lf{};
  lf.lfHeight = FontHeightFromSize(size);
  const size_t n = std::min(name.size(), static_cast<size_t>(LF_FACESIZE - 1));
  std::memcpy(lf.lfFaceName, name.data(), n * sizeof(WCHAR));
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = 0;
  lf.lfClipPrecision = 0;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lf.lfWeight = bold ? 1000 : 0;
  HDC dc = GetDC(nullptr);
  auto font = std::make_unique<Gdiplus::Font>(dc, &lf);
  ReleaseDC(nullptr, dc);
  // GetLastStatus resets the status: read it once.
  if (font->GetLastStatus() != Gdiplus::Ok) return nullptr;
  return font;
}

}  // namespace lg::skin
