#include "Library/gdiplus/TLGLabel.h"

#include "Library/gdiplus/DrawHelpers.h"

namespace lg::skin {

void TLGLabel::DrawGP(Gdiplus::Graphics* g) {
  if (!Visible() || g == nullptr || WideText().empty()) return;
  const Gdiplus::Color color(ArgbFromFontColor(Font().Color));
  Gdiplus::SolidBrush brush(color);
  Gdiplus::RectF rect(Left(), Top(), Width(), Height());
  // A label's text is never bold.
  auto font = MakeControlFont(Font().Name, Font().Size, false);
  if (!font) return;
  auto format = MakeTextFormat();
  format->SetAlignment(LabelHorizontalAlign(Alignment()) == TTextAlign::Center ? Gdiplus::StringAlignmentCenter
                                                                               : Gdiplus::StringAlignmentNear);
  format->SetLineAlignment(Gdiplus::StringAlignmentCenter);
  g->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
  const INT length = static_cast<INT>(WideText().size());
  brush.SetColor(Gdiplus::Color(0xFF000000));
  rect.Offset(2, 2);
  g->DrawString(Wide(WideText()), length, font.get(), rect, format.get(), &brush);
  rect.Offset(-2, -2);
  brush.SetColor(color);
  g->DrawString(Wide(WideText()), length, font.get(), rect, format.get(), &brush);
}

void TLGLabel::Paint(HDC dc) {
  Gdiplus::Graphics g(dc);
  DrawGP(&g);
}

}  // namespace lg::skin
