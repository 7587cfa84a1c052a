#include "app/countdown.h"

#include <string>

#include "platform/platform.h"

namespace velmora {
namespace {

constexpr int kIconSize = 16;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

}  // namespace

int CountdownFontHeight(uint32_t seconds) {
  if (seconds < 10) return 18;
  if (seconds < 99) return 16;
  if (seconds < 999) return 12;
  return 10;
}

IconHandle DrawCountdownIcon(Hwnd window, uint32_t seconds) {
  Gdi& gdi = Graphics();
  const Rect square{0, 0, kIconSize, kIconSize};

  Gdi::Dc screen = gdi.GetWindowDc(window);
  Gdi::Dc memory = gdi.CreateMemoryDc(screen);
  // The colour image takes the screen's format; the mask the memory DC's monochrome one.
  Gdi::Object color = gdi.CreateBitmap(screen, kIconSize, kIconSize);
  Gdi::Object mask = gdi.CreateBitmap(memory, kIconSize, kIconSize);
  gdi.ReleaseWindowDc(window, screen);

  // A new bitmap's bits are undefined: an all-black AND mask makes every pixel opaque.
  Gdi::Object previousBitmap = gdi.Select(memory, mask);
  gdi.FillBlack(memory, square);
  gdi.Select(memory, color);
  gdi.FillWhite(memory, square);

  Gdi::Object font = gdi.CreateTextFont(CountdownFontHeight(seconds), gdi::kFontWeightNormal,
                                        gdi::kClearTypeQuality, gdi::kAnsiCharset, L"Arial");
  Gdi::Object previousFont = gdi.Select(memory, font);
  gdi.SetBackgroundColor(memory, kWhite);
  gdi.SetForegroundColor(memory, kBlack);
  gdi.DrawTextIn(memory, std::to_wstring(seconds), square, gdi::kDtCenter | gdi::kDtWordBreak);
  gdi.Select(memory, previousFont);
  // The bitmaps must leave the DC before the icon copies them and before they are deleted.
  gdi.Select(memory, previousBitmap);

  IconHandle icon = gdi.CreateIconFromBitmaps(mask, color);

  gdi.DeleteGdiObject(font);
  gdi.DeleteMemoryDc(memory);
  gdi.DeleteGdiObject(color);
  gdi.DeleteGdiObject(mask);
  return icon;
}

}  // namespace velmora
