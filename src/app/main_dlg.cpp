#include "app/main_dlg.h"

#include "app/countdown.h"
#include "app/globals.h"
#include "app/window_icons.h"
#include "elevation/elevation_timer.h"
#include "elevation/request_flow.h"
#include "elevation/shell_hook.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "text/localized_texts.h"

namespace velmora {

CMainDlg::~CMainDlg() {
  // DefaultIcon stays for the life of the process; the rest goes with the window object.
  if (SmallIcon != nullptr) Windows().DestroyIcon(SmallIcon);
  if (m_countdownIcon != nullptr) Windows().DestroyIcon(m_countdownIcon);
  if (TrayMenu != nullptr) Ui().DestroyMenu(TrayMenu);
}

Hwnd CMainDlg::Create() {
  return Windows().CreateModelessDialog(IDD_MAINDLG, nullptr, this);
}

bool CMainDlg::ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam, intptr_t& result) {
  result = 0;
  if (message == msg::kInitDialog) {
    m_hWnd = hwnd;
    result = OnInitDialog();
    return true;
  }
  if (message == msg::kShowBalloon) {
    ShowBalloon(wParam, 0);
    return true;
  }
  if (message == msg::kTrayIcon) {
    OnTrayIcon(lParam);
    return true;
  }
  if (message == msg::kIgnored) return true;
  // Zero until registration, so WM_NULL never matches.
  if (TaskbarCreatedMessage != 0 && message == TaskbarCreatedMessage) {
    AddTrayIcon();
    return true;
  }
  if (message == msg::kTimer) {
    OnCountdownTimer();
    return true;
  }
  if (message == msg::kRestoreIcon) {
    OnRestoreIcon();
    return true;
  }
  if (message == msg::kDestroy) {
    OnDestroy();
    return true;
  }
  if (message == msg::kEndSession) {
    OnEndSession(lParam);
    return true;
  }
  return false;
}

bool CMainDlg::PreTranslateMessage(Message* message) {
  return Windows().IsDialogMessageFor(m_hWnd, message);
}

bool CMainDlg::OnIdle() { return false; }

intptr_t CMainDlg::OnInitDialog() {
  WindowSystem& windows = Windows();
  Store(g_nElevationKind, KindNone);

  windows.CenterWindow(m_hWnd);
  const WindowIcons icons = SetProgramIcons(m_hWnd);
  SmallIcon = icons.small;

  if (CMessageLoop* loop = AppModule().GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }

  // Worker threads post to g_hMainWnd, so it is set before any of them starts.
  g_hMainWnd.store(m_hWnd, std::memory_order_relaxed);
  DefaultIcon = icons.big;

  UpdateIdentityName(std::wstring());
  AddTrayIcon();
  StartServiceEventThread();
  StartShellHookEventThread();
  StartUpElevation();

  TaskbarCreatedMessage = windows.RegisterMessageName(L"TaskbarCreated");
  Store(g_bReasonDlgOpen, 0);
  windows.StartTimer(m_hWnd, kCountdownTimerId, kCountdownTimerPeriodMs);
  return 1;
}

void CMainDlg::StartUpElevation() {
  std::wstring atLogin;
  if (!ReadMachineDword(L"ElevateAtLogin", atLogin) || atLogin.empty()) atLogin = L"0";

  if (IsCurrentUserAdmin()) {
    Store(g_nElevationKind, KindResumed);
  } else if (atLogin == L"1") {
    AddUserToAdmin(m_hWnd, KindAtLogin, 0);
  } else if (IsElevationActive()) {
    AddUserToAdmin(m_hWnd, KindResumed, GetRemainingSeconds());
  }
}

void CMainDlg::OnDestroy() {
  if (CMessageLoop* loop = AppModule().GetMessageLoop()) {
    loop->RemoveMessageFilter(this);
    loop->RemoveIdleHandler(this);
  }
}

// ---- Notification icon --------------------------------------------------------------------

NotifyIconData CMainDlg::IconData(IconHandle icon) const {
  NotifyIconData data;
  data.window = m_hWnd;
  data.id = 0;
  data.flags = nim::kFlagMessage | nim::kFlagIcon | nim::kFlagTip;
  data.callbackMessage = msg::kTrayIcon;
  data.icon = icon;
  data.tip = L"Velmora";
  // 5, not the documented 4: what the shell has always been given here.
  data.timeoutOrVersion = kNotifyIconVersion;
  return data;
}

void CMainDlg::AddTrayIcon() {
  const NotifyIconData data = IconData(DefaultIcon);
  if (Ui().NotifyIcon(nim::kAdd, data)) Ui().NotifyIcon(nim::kSetVersion, data);
}

void CMainDlg::SetTrayIcon(IconHandle icon) { Ui().NotifyIcon(nim::kModify, IconData(icon)); }

void CMainDlg::OnRestoreIcon() {
  SetTrayIcon(DefaultIcon);
  // The shell keeps its own copy of an icon it was given: ours can go.
  if (m_countdownIcon != nullptr) Windows().DestroyIcon(m_countdownIcon);
  m_countdownIcon = nullptr;
}

// ---- Clicks and the menu -------------------------------------------------------------------

void CMainDlg::OnTrayIcon(intptr_t mouseMessage) {
  if (mouseMessage == msg::kLButtonUp) {
    if (Load(g_bReasonDlgOpen) != 0 || Load(g_bManualElevationDisabled) != 0) return;
    if (Ui().IsKeyDown(kVkControl)) {
      BuildTrayMenu(false, true, std::wstring());
      TrackTrayMenu(std::wstring());
    } else {
      TryToElevate(0);
    }
  } else if (mouseMessage == msg::kRButtonUp) {
    const bool control = Ui().IsKeyDown(kVkControl);
    std::wstring userConfig;
    if (!ReadMachineDword(L"UserConfig", userConfig) || userConfig.empty()) userConfig = L"0";
    // Only asked with Control down: the group query is not free.
    const bool admin = control && IsCurrentUserAdmin();
    BuildTrayMenu(admin, false, userConfig);
    TrackTrayMenu(userConfig);
  }
}

void CMainDlg::BuildTrayMenu(bool showSettings, bool showStatus, const std::wstring& userConfig) {
  Shell& shell = Ui();
  if (TrayMenu != nullptr) shell.DestroyMenu(TrayMenu);
  TrayMenu = shell.CreatePopupMenu();

  if (Load(g_bManualElevationDisabled) == 0) {
    std::wstring token;
    if (ReadMachineString(L"TokenElevation", token) && token == L"1") {
      shell.AppendMenuItem(TrayMenu, ID_REQUEST_PRIVILEGES,
                           LocalizedText(TextId::kMenuItemRequestPrevileges), false);
    }
    shell.AppendMenuItem(TrayMenu, ID_ELEVATE, FormatText<TextId::kMenuItemElevate>(IdentityName),
                         false);
    const uint32_t days = GetElevateForXDays();
    if (days != 0) {
      shell.AppendMenuItem(TrayMenu, ID_ELEVATE_DAYS,
                           FormatText<TextId::kMenuElevateForXDays>(days), false);
    }
  }
  shell.AppendMenuItem(TrayMenu, ID_ABOUT, LocalizedText(TextId::kMenuItemAbout), false);
  if (showSettings) {
    shell.AppendMenuItem(TrayMenu, ID_SETTINGS, LocalizedText(TextId::kMenuItemSettings),
                         userConfig == L"0");
  }
  if (showStatus) {
    shell.AppendMenuItem(TrayMenu, ID_STATUS, LocalizedText(TextId::kMenuItemStatus), false);
  }
}

void CMainDlg::TrackTrayMenu(const std::wstring& userConfig) {
  switch (Ui().TrackMenuAtCursor(TrayMenu, m_hWnd)) {
    case ID_ELEVATE:
      TryToElevate(0);
      break;
    case ID_ELEVATE_DAYS:
      TryToElevate(GetElevateForXDays());
      break;
    case ID_REQUEST_PRIVILEGES:
      OnRequestPrivileges();
      break;
    case ID_SETTINGS:
      OnSettings(userConfig);
      break;
    case ID_STATUS:
      OnStatus();
      break;
    case ID_ABOUT:
      OnAbout();
      break;
    default:
      break;
  }
}

void CMainDlg::OnSettings(const std::wstring&) {
  if (!IsServiceRunning()) {
    // ShowBalloon stays silent during a shell-hook elevation, as this case must.
    ShowBalloon(NotifyServiceNotRunning, 0);
    return;
  }
  // The settings dialog joins with its own feature.
}

// The PIN, status and about dialogs join with their own features.
void CMainDlg::OnRequestPrivileges() {}
void CMainDlg::OnStatus() {}
void CMainDlg::OnAbout() {}

// ---- Requests ------------------------------------------------------------------------------

void CMainDlg::TryToElevate(uint32_t days) {
  if (IsElevationActive()) {
    const uint32_t remaining = GetRemainingSeconds();
    if (Load(g_nElevationKind) != KindAtLogin) {
      ShowBalloon(NotifyAlreadyMemberTimeLeft, remaining);
    } else if (Load(g_bShellHookElevation) == 0) {
      ShowBalloon(NotifyElevatedAtLogin, 0);
    }
    return;
  }
  if (IsCurrentUserAdmin()) {
    Log("TryToElevate. Current user is already admin. Skipping further logic...");
    ShowBalloon(NotifyAlreadyMember, 0);
    return;
  }
  if (days == 0) {
    AddUserToAdmin(m_hWnd, KindPeriod, GetAccessPeriod());
  } else {
    AddUserToAdmin(m_hWnd, KindDays, DaysToSeconds(days));
  }
}

// ---- Balloons ------------------------------------------------------------------------------

std::wstring CMainDlg::BalloonText(uintptr_t kind, uint32_t seconds) const {
  switch (kind) {
    case NotifyStarted:
      switch (Load(g_nElevationKind)) {
        case KindDays:
          return FormatWide(L"You have been assigned local administration privileges for %d day(s)",
                            {GetElevateForXDays()});
        case KindPeriod:
          return FormatText<TextId::kBalloonStartMessage>(GetAccessPeriod() / 60);
        case KindResumed:
          return FormatText<TextId::kBalloonElevationAfterResuscitate>(
              DurationText(GetRemainingSeconds()));
        default:
          return std::wstring();
      }
    case NotifyExpired:
      return LocalizedText(TextId::kBalloonExpireMessage);
    case NotifyForbidden:
      return LocalizedText(TextId::kBalloonForbiddenMessage);
    case NotifyAlreadyMember:
      return FormatText<TextId::kBalloonAlreadyAdmin>(IdentityName);
    case NotifyAlreadyMemberTimeLeft:
      return FormatText<TextId::kBalloonAlreadyAdmin2>(IdentityName, DurationText(seconds));
    case NotifyServiceNotRunning:
      return FormatText<TextId::kBalloonServiceNotRunning>();
    case NotifyElevatedAtLogin:
      return FormatText<TextId::kEternalElevation>(IdentityName);
    case NotifyCannotElevateAD:
      return LocalizedText(TextId::kBalloonCannotElevateAD);
    default:
      return std::wstring();
  }
}

void CMainDlg::ShowBalloon(uintptr_t kind, uint32_t seconds) {
  if (Load(g_bShellHookElevation) != 0) return;
  NotifyIconData data;
  data.window = m_hWnd;
  data.id = 0;
  data.flags = nim::kFlagInfo;
  data.infoFlags = nim::kInfoIconInfo;
  data.timeoutOrVersion = kBalloonTimeoutMs;
  data.infoTitle = CutToUtf16Units(LocalizedText(TextId::kBalloonCaption), nim::kInfoTitleUnits);
  data.info = CutToUtf16Units(BalloonText(kind, seconds), nim::kInfoUnits);
  Ui().NotifyIcon(nim::kModify, data);
}

// ---- Countdown and session end ------------------------------------------------------------

void CMainDlg::OnCountdownTimer() {
  std::wstring visible;
  if (!ReadMachineDword(L"VisibleCountDown", visible) || visible != L"1") return;
  // One read of "timerEnd" a second, not two.
  const uint32_t seconds = ActiveRemainingSeconds();
  if (seconds < 1 || seconds > kCountdownMaxSeconds) return;
  IconHandle icon = DrawCountdownIcon(m_hWnd, seconds);
  SetTrayIcon(icon);
  // The previous tick's icon is only needed until the next one is shown.
  if (m_countdownIcon != nullptr) Windows().DestroyIcon(m_countdownIcon);
  m_countdownIcon = icon;
}

void CMainDlg::OnEndSession(intptr_t lParam) { OnEndSessionResuscitate(lParam); }

void CMainDlg::UpdateIdentityName(const std::wstring& identity) {
  std::wstring choice = identity;
  if (choice.empty() && (!ReadMachineDword(L"Identity", choice) || choice.empty())) {
    choice = L"1";
  }
  IdentityName = IdentityNameFor(choice);
}

}  // namespace velmora
