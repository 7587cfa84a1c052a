// The hidden main window: owner of the notification icon, its menu and the countdown timer, and
// the one place worker threads report to (they post messages; all UI work happens here).
#pragma once

#include <cstdint>
#include <string>

#include "app/message_loop.h"
#include "resource.h"
#include "platform/types.h"
#include "platform/window_system.h"

namespace velmora {

constexpr uintptr_t kCountdownTimerId = 0;
constexpr uint32_t kCountdownTimerPeriodMs = 1000;

class CMainDlg : public WindowHandler, public CMessageFilter, public CIdleHandler {
 public:
  CMainDlg() = default;
  ~CMainDlg() override;
  CMainDlg(const CMainDlg&) = delete;
  CMainDlg& operator=(const CMainDlg&) = delete;

  // Creates the modeless dialog from its template; nullptr on failure.
  Hwnd Create();
  Hwnd hwnd() const { return m_hWnd; }

  bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t& result) override;
  bool PreTranslateMessage(Message* message) override;
  bool OnIdle() override;

  // Handlers of the message table.
  intptr_t OnInitDialog();
  void ShowBalloon(uintptr_t kind, int reserved);
  void OnTrayIcon(intptr_t mouseMessage);
  void AddTrayIcon();
  void OnCountdownTimer();
  void SetTrayIcon(IconHandle icon);
  void OnDestroy();
  void OnEndSession(uintptr_t ending);

  void UpdateIdentityName(const std::wstring& identity);

  IconHandle defaultIcon() const { return DefaultIcon; }
  uint32_t taskbarCreatedMessage() const { return TaskbarCreatedMessage; }
  const std::wstring& identityName() const { return IdentityName; }

 private:
  void StartUpElevation();

  Hwnd m_hWnd = nullptr;
  IconHandle DefaultIcon = nullptr;
  IconHandle SmallIcon = nullptr;
  Handle TrayMenu = nullptr;
  std::wstring IdentityName;
  uint32_t TaskbarCreatedMessage = 0;
};

}  // namespace velmora
