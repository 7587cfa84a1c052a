// The seconds left of an elevation, drawn as a 16×16 icon during its last 999 seconds.
#pragma once

#include <cstdint>

#include "platform/owned.h"

namespace velmora {

constexpr uint32_t kCountdownMaxSeconds = 999;

// Font height by the number shown, so that up to three digits fit the square.
int CountdownFontHeight(uint32_t seconds);
// A new icon showing `seconds` in black on white; everything else made for it is released
// before it returns.
OwnedIcon DrawCountdownIcon(Hwnd window, uint32_t seconds);

}  // namespace velmora
