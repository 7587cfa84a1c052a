// Window message values the logic dispatches on; they are the Windows values so that a message
// posted by the real system and one posted by a test are the same number.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace velmora {
namespace msg {
constexpr uint32_t kDestroy = 0x0002;
constexpr uint32_t kPaint = 0x000F;
constexpr uint32_t kQuit = 0x0012;
constexpr uint32_t kEndSession = 0x0016;
constexpr uint32_t kSetIcon = 0x0080;
constexpr uint32_t kNotify = 0x004E;
constexpr uint32_t kNcMouseMove = 0x00A0;
constexpr uint32_t kInitDialog = 0x0110;
constexpr uint32_t kCommand = 0x0111;
constexpr uint32_t kTimer = 0x0113;
constexpr uint32_t kCtlColorStatic = 0x0138;
constexpr uint32_t kSystemTimer = 0x0118;
constexpr uint32_t kMouseMove = 0x0200;
constexpr uint32_t kLButtonDown = 0x0201;
constexpr uint32_t kLButtonUp = 0x0202;
constexpr uint32_t kRButtonDown = 0x0204;
constexpr uint32_t kRButtonUp = 0x0205;
constexpr uint32_t kUser = 0x0400;

// Private messages of the main window.
constexpr uint32_t kTrayIcon = kUser + 1;
constexpr uint32_t kShowBalloon = kUser + 3;
constexpr uint32_t kIgnored = kUser + 4;
constexpr uint32_t kRestoreIcon = kUser + 5;
}  // namespace msg

// WM_SETICON wParam.
constexpr uintptr_t kIconSmall = 0;
constexpr uintptr_t kIconBig = 1;

// GetSystemMetrics indexes.
constexpr int kSmCxIcon = 11;
constexpr int kSmCyIcon = 12;
constexpr int kSmCxSmIcon = 49;
constexpr int kSmCySmIcon = 50;

// Command ids of the dialog buttons.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// WM_NOTIFY's lParam points to this; it has NMHDR's layout.
struct NotifyHeader {
  Hwnd from;
  uintptr_t idFrom;
  uint32_t code;
};
constexpr uint32_t kNmClick = static_cast<uint32_t>(-2);

struct Message {
  Hwnd hwnd = nullptr;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

}  // namespace velmora
