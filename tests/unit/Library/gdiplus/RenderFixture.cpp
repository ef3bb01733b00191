#include "RenderFixture.h"

#include <vector>

namespace lg::skin::test {

TGdiplusSession* RenderTest::session_ = nullptr;

void RenderTest::SetUpTestSuite() {
  if (session_ == nullptr) session_ = new TGdiplusSession();
}

void RenderTest::TearDownTestSuite() {
  delete session_;
  session_ = nullptr;
}

std::unique_ptr<Gdiplus::Bitmap> RenderTest::Render(TLGControl& control, int w, int h, uint32_t clear) {
  auto canvas = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppARGB);
  EXPECT_EQ(canvas->GetLastStatus(), Gdiplus::Ok);
  std::unique_ptr<Gdiplus::Graphics> g(Gdiplus::Graphics::FromImage(canvas.get()));
  EXPECT_TRUE(g != nullptr);
  g->Clear(Gdiplus::Color(clear));
  control.PaintTo(g.get());
  g->Flush(Gdiplus::FlushIntentionSync);
  return canvas;
}

uint32_t RenderTest::Pixel(Gdiplus::Bitmap& bitmap, int x, int y) {
  Gdiplus::Color c;
  if (bitmap.GetPixel(x, y, &c) != Gdiplus::Ok) return 0;
  return c.GetValue();
}

std::unique_ptr<Gdiplus::Bitmap> RenderTest::Columns(int h, std::initializer_list<std::pair<int, uint32_t>> columns) {
  int w = 0;
  for (const auto& c : columns) w += c.first;
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppARGB);
  int x = 0;
  for (const auto& [width, colour] : columns) {
    for (int i = 0; i < width; ++i, ++x) {
      for (int y = 0; y < h; ++y) bitmap->SetPixel(x, y, Gdiplus::Color(colour));
    }
  }
  return bitmap;
}

CLSID RenderTest::PngEncoder() {
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  std::vector<BYTE> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, codecs);
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/png") return codecs[i].Clsid;
  }
  ADD_FAILURE() << "no PNG encoder";
  return {};
}

std::string RenderTest::EncodePng(Gdiplus::Bitmap& bitmap) {
  const CLSID png = PngEncoder();
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) return {};
  std::string out;
  if (bitmap.Save(stream, &png, nullptr) == Gdiplus::Ok) {
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    out.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(out.data(), static_cast<ULONG>(out.size()), &read);
    out.resize(read);
  }
  stream->Release();
  return out;
}

}  // namespace lg::skin::test
