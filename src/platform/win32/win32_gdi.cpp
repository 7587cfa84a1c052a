#include "platform/win32/win32_gdi.h"

#include <windows.h>

namespace velmora {
namespace {

HDC ToDc(Gdi::Dc dc) { return static_cast<HDC>(dc); }
RECT ToRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace

static_assert(DT_CENTER == gdi::kDtCenter && DT_WORDBREAK == gdi::kDtWordBreak &&
                  CLEARTYPE_QUALITY == gdi::kClearTypeQuality &&
                  ANSI_CHARSET == gdi::kAnsiCharset && FW_NORMAL == gdi::kFontWeightNormal,
              "drawing values cross the seam unchanged");

Gdi::Dc Win32Gdi::GetWindowDc(Hwnd window) { return ::GetDC(static_cast<HWND>(window)); }

void Win32Gdi::ReleaseWindowDc(Hwnd window, Dc dc) {
  ::ReleaseDC(static_cast<HWND>(window), ToDc(dc));
}

Gdi::Dc Win32Gdi::CreateMemoryDc(Dc compatibleWith) {
  return ::CreateCompatibleDC(ToDc(compatibleWith));
}

void Win32Gdi::DeleteMemoryDc(Dc dc) { ::DeleteDC(ToDc(dc)); }

Gdi::Object Win32Gdi::CreateBitmap(Dc compatibleWith, int width, int height) {
  return ::CreateCompatibleBitmap(ToDc(compatibleWith), width, height);
}

Gdi::Object Win32Gdi::CreateTextFont(int height, int weight, uint8_t quality, uint8_t charset,
                                     const std::wstring& face) {
  return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

Gdi::Object Win32Gdi::Select(Dc dc, Object object) {
  return ::SelectObject(ToDc(dc), static_cast<HGDIOBJ>(object));
}

void Win32Gdi::DeleteGdiObject(Object object) { ::DeleteObject(static_cast<HGDIOBJ>(object)); }

void Win32Gdi::FillWhite(Dc dc, const Rect& rect) {
  const RECT r = ToRect(rect);
  ::FillRect(ToDc(dc), &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
}

void Win32Gdi::FillBlack(Dc dc, const Rect& rect) {
  const RECT r = ToRect(rect);
  ::FillRect(ToDc(dc), &r, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

void Win32Gdi::SetBackgroundColor(Dc dc, uint32_t rgb) { ::SetBkColor(ToDc(dc), rgb); }

void Win32Gdi::SetForegroundColor(Dc dc, uint32_t rgb) { ::SetTextColor(ToDc(dc), rgb); }

void Win32Gdi::DrawTextIn(Dc dc, const std::wstring& text, const Rect& rect, uint32_t format) {
  RECT r = ToRect(rect);
  ::DrawTextW(ToDc(dc), text.c_str(), static_cast<int>(text.size()), &r, format);
}

IconHandle Win32Gdi::CreateIconFromBitmaps(Object mask, Object color) {
  ICONINFO info = {};
  info.fIcon = TRUE;
  info.hbmMask = static_cast<HBITMAP>(mask);
  info.hbmColor = static_cast<HBITMAP>(color);
  return ::CreateIconIndirect(&info);
}

Gdi::Object Win32Gdi::StockWhiteBrush() { return ::GetStockObject(WHITE_BRUSH); }

}  // namespace velmora
