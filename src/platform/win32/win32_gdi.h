// GDI over gdi32/user32.
#pragma once

#include "platform/gdi.h"

namespace velmora {

class Win32Gdi final : public Gdi {
 public:
  Dc GetWindowDc(Hwnd window) override;
  void ReleaseWindowDc(Hwnd window, Dc dc) override;
  Dc CreateMemoryDc(Dc compatibleWith) override;
  void DeleteMemoryDc(Dc dc) override;
  Object CreateBitmap(Dc compatibleWith, int width, int height) override;
  Object CreateTextFont(int height, int weight, uint8_t quality, uint8_t charset,
                        const std::wstring& face) override;
  Object Select(Dc dc, Object object) override;
  void DeleteGdiObject(Object object) override;
  void FillWhite(Dc dc, const Rect& rect) override;
  void FillBlack(Dc dc, const Rect& rect) override;
  void SetBackgroundColor(Dc dc, uint32_t rgb) override;
  void SetForegroundColor(Dc dc, uint32_t rgb) override;
  void DrawTextIn(Dc dc, const std::wstring& text, const Rect& rect, uint32_t format) override;
  IconHandle CreateIconFromBitmaps(Object mask, Object color) override;
  Object StockWhiteBrush() override;
};

}  // namespace velmora
