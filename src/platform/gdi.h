// The GDI calls the countdown icon is drawn with. Every object made here is released by the
// caller: the fake counts them, so a leak shows up in a test.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace velmora {

struct Rect {
  int left;
  int top;
  int right;
  int bottom;
};

class Gdi {
 public:
  using Dc = void*;
  using Object = void*;  // bitmap or font

  virtual ~Gdi() = default;

  virtual Dc GetWindowDc(Hwnd window) = 0;  // GetDC
  virtual void ReleaseWindowDc(Hwnd window, Dc dc) = 0;
  virtual Dc CreateMemoryDc(Dc compatibleWith) = 0;  // CreateCompatibleDC
  virtual void DeleteMemoryDc(Dc dc) = 0;
  virtual Object CreateBitmap(Dc compatibleWith, int width, int height) = 0;
  // CreateFontW with no italic, underline or strike-out.
  virtual Object CreateTextFont(int height, int weight, uint8_t quality, uint8_t charset,
                                const std::wstring& face) = 0;
  // SelectObject: answers the object it replaced.
  virtual Object Select(Dc dc, Object object) = 0;
  virtual void DeleteGdiObject(Object object) = 0;
  virtual void FillWhite(Dc dc, const Rect& rect) = 0;  // FillRect with the white stock brush
  virtual void FillBlack(Dc dc, const Rect& rect) = 0;  // FillRect with the black stock brush
  virtual void SetBackgroundColor(Dc dc, uint32_t rgb) = 0;
  virtual void SetForegroundColor(Dc dc, uint32_t rgb) = 0;  // SetTextColor
  virtual void DrawTextIn(Dc dc, const std::wstring& text, const Rect& rect,
                          uint32_t format) = 0;
  // CreateIconIndirect of an icon (not a cursor) with hot spot (0, 0).
  virtual IconHandle CreateIconFromBitmaps(Object mask, Object color) = 0;
  // GetStockObject(WHITE_BRUSH): shared, never deleted.
  virtual Object StockWhiteBrush() = 0;
};

namespace gdi {
constexpr int kFontWeightNormal = 400;
constexpr uint8_t kClearTypeQuality = 5;
constexpr uint8_t kAnsiCharset = 0;
constexpr uint32_t kDtCenter = 0x1;
constexpr uint32_t kDtWordBreak = 0x10;
}  // namespace gdi

}  // namespace velmora
