// The hidden main window: owner of the notification icon, its menu and the countdown timer, and
// the one place worker threads report to (they post messages; all UI work happens here).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/message_loop.h"
#include "dialogs/window_icons.h"
#include "platform/owned.h"
#include "platform/shell.h"
#include "platform/types.h"
#include "platform/window_system.h"
#include "resource.h"

namespace velmora {

constexpr uintptr_t kCountdownTimerId = 0;
constexpr uint32_t kCountdownTimerPeriodMs = 1000;
constexpr uint32_t kNotifyIconVersion = 5;
constexpr uint32_t kBalloonTimeoutMs = 7000;

// Commands of the tray menu.
constexpr uint32_t ID_ELEVATE = 32879;
constexpr uint32_t ID_ABOUT = 32880;
constexpr uint32_t ID_SETTINGS = 32881;
constexpr uint32_t ID_STATUS = 32882;
constexpr uint32_t ID_REQUEST_PRIVILEGES = 32883;
constexpr uint32_t ID_ELEVATE_DAYS = 32884;

class CMainDlg : public WindowHandler, public CMessageFilter, public CIdleHandler {
 public:
  CMainDlg() = default;
  ~CMainDlg() override = default;
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
  void ShowBalloon(uintptr_t kind, uint32_t seconds);
  void OnTrayIcon(intptr_t mouseMessage);
  void AddTrayIcon();
  void OnCountdownTimer();
  void SetTrayIcon(IconHandle icon);
  void OnRestoreIcon();
  void OnDestroy();
  void OnEndSession(uintptr_t wParam, intptr_t lParam);

  // Requests made by the user: answers at once, by balloon, when nothing needs asking.
  void TryToElevate(uint32_t days);
  void BuildTrayMenu(bool showSettings, bool showStatus, const std::wstring& userConfig);
  void TrackTrayMenu(const std::wstring& userConfig);
  std::wstring BalloonText(uintptr_t kind, uint32_t seconds) const;

  // The name shown for an identity choice; without one, for the stored Identity setting. An
  // empty choice is a choice: it shows no name.
  void UpdateIdentityName(const std::optional<std::wstring>& identity);

  IconHandle defaultIcon() const { return m_icons.big.get(); }
  uint32_t taskbarCreatedMessage() const { return m_taskbarCreatedMessage; }
  const std::wstring& identityName() const { return m_identityName; }

 private:
  void StartUpElevation();
  NotifyIconData IconData(IconHandle icon) const;
  void OnRequestPrivileges();
  void OnSettings(const std::wstring& userConfig);
  void OnStatus();
  void OnAbout();

  Hwnd m_hWnd = nullptr;
  // The big icon is also the notification icon's default image.
  WindowIcons m_icons;
  OwnedMenu m_trayMenu;
  OwnedIcon m_countdownIcon;
  std::wstring m_identityName;
  uint32_t m_taskbarCreatedMessage = 0;
};

}  // namespace velmora
