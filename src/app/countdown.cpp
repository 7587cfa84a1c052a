#include "app/countdown.h"

#include <string>

#include "platform/owned.h"

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

OwnedIcon DrawCountdownIcon(Hwnd window, uint32_t seconds) {
  Gdi& gdi = Graphics();
  const Rect square{0, 0, kIconSize, kIconSize};

  OwnedMemoryDc memory;
  OwnedGdiObject color;
  OwnedGdiObject mask;
  {
    const WindowDc screen(window);
    memory.reset(gdi.CreateMemoryDc(screen.get()));
    // The colour image takes the screen's format; the mask the memory DC's monochrome one.
    color.reset(gdi.CreateBitmap(screen.get(), kIconSize, kIconSize));
    mask.reset(gdi.CreateBitmap(memory.get(), kIconSize, kIconSize));
  }
  const OwnedGdiObject font(gdi.CreateTextFont(CountdownFontHeight(seconds),
                                               gdi::kFontWeightNormal, gdi::kClearTypeQuality,
                                               gdi::kAnsiCharset, L"Arial"));
  {
    // The selections end before the icon copies the bitmaps and before anything is deleted.
    const ScopedSelection maskSelected(memory.get(), mask.get());
    // A new bitmap's bits are undefined: an all-black AND mask makes every pixel opaque.
    gdi.FillBlack(memory.get(), square);
    gdi.Select(memory.get(), color.get());
    gdi.FillWhite(memory.get(), square);

    const ScopedSelection fontSelected(memory.get(), font.get());
    gdi.SetBackgroundColor(memory.get(), kWhite);
    gdi.SetForegroundColor(memory.get(), kBlack);
    gdi.DrawTextIn(memory.get(), std::to_wstring(seconds), square,
                   gdi::kDtCenter | gdi::kDtWordBreak);
  }
  return OwnedIcon(gdi.CreateIconFromBitmaps(mask.get(), color.get()));
}

}  // namespace velmora
