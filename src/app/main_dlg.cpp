#include "app/main_dlg.h"

#include "app/countdown.h"
#include "dialogs/about_dlg.h"
#include "dialogs/ask_pin_dlg.h"
#include "dialogs/reason_dlg.h"
#include "dialogs/settings_dlg.h"
#include "dialogs/status_dlg.h"
#include "dialogs/window_icons.h"
#include "elevation/pin.h"
#include "elevation/request_flow.h"
#include "elevation/service_events.h"
#include "elevation/session_end.h"
#include "elevation/shell_hook.h"
#include "elevation/timer_end.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "localization/localized_texts.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

// The text counts whole minutes; a grant shorter than one must not read as none at all.
uint32_t StartBalloonMinutes(uint32_t seconds) {
  return seconds != 0 && seconds < 60 ? 1 : seconds / 60;
}

bool PromptForReason(std::wstring* reason) {
  return AskElevationReason(reason) == kReasonGiven;
}

}  // namespace

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
  if (m_taskbarCreatedMessage != 0 && message == m_taskbarCreatedMessage) {
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
    OnEndSession(wParam, lParam);
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
  m_icons = SetProgramIcons(m_hWnd);

  if (CMessageLoop* loop = AppModule().GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }

  // Worker threads post to g_hMainWnd, so it is set before any of them starts.
  g_hMainWnd.store(m_hWnd, std::memory_order_relaxed);

  UpdateIdentityName(std::nullopt);
  AddTrayIcon();
  StartServiceEventThread();
  StartShellHookEventThread();
  StartUpElevation();

  m_taskbarCreatedMessage = windows.RegisterMessageName(L"TaskbarCreated");
  Store(g_bReasonDlgOpen, 0);
  windows.StartTimer(m_hWnd, kCountdownTimerId, kCountdownTimerPeriodMs);
  return 1;
}

void CMainDlg::StartUpElevation() {
  std::wstring atLogin;
  if (!ReadMachineNumberText(L"ElevateAtLogin", atLogin) || atLogin.empty()) atLogin = L"0";

  if (IsCurrentUserAdmin()) {
    Store(g_nElevationKind, KindResumed);
  } else if (atLogin == L"1") {
    AddUserToAdmin(m_hWnd, KindAtLogin, 0, PromptForReason);
  } else if (IsElevationActive()) {
    ResumeElevation(m_hWnd, PromptForReason);
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
  const NotifyIconData data = IconData(defaultIcon());
  if (ShellUi().NotifyIcon(nim::kAdd, data)) ShellUi().NotifyIcon(nim::kSetVersion, data);
}

void CMainDlg::SetTrayIcon(IconHandle icon) { ShellUi().NotifyIcon(nim::kModify, IconData(icon)); }

void CMainDlg::OnRestoreIcon() {
  SetTrayIcon(defaultIcon());
  // The shell keeps its own copy of an icon it was given: ours can go.
  m_countdownIcon.reset();
}

// ---- Clicks and the menu -------------------------------------------------------------------

void CMainDlg::OnTrayIcon(intptr_t mouseMessage) {
  if (mouseMessage == msg::kLButtonUp) {
    if (Load(g_bReasonDlgOpen) != 0 || Load(g_bManualElevationDisabled) != 0) return;
    if (ShellUi().IsKeyDown(kVkControl)) {
      BuildTrayMenu(false, true, std::wstring());
      TrackTrayMenu(std::wstring());
    } else {
      TryToElevate(0);
    }
  } else if (mouseMessage == msg::kRButtonUp) {
    const bool control = ShellUi().IsKeyDown(kVkControl);
    std::wstring userConfig;
    if (!ReadMachineNumberText(L"UserConfig", userConfig) || userConfig.empty()) userConfig = L"0";
    // Only asked with Control down: the group query is not free.
    const bool admin = control && IsCurrentUserAdmin();
    BuildTrayMenu(admin, false, userConfig);
    TrackTrayMenu(userConfig);
  }
}

void CMainDlg::BuildTrayMenu(bool showSettings, bool showStatus, const std::wstring& userConfig) {
  Shell& shell = ShellUi();
  m_trayMenu.reset(shell.CreatePopupMenu());
  const MenuHandle menu = m_trayMenu.get();

  if (Load(g_bManualElevationDisabled) == 0) {
    std::wstring token;
    if (ReadMachineString(L"TokenElevation", token) && token == L"1") {
      shell.AppendMenuItem(menu, ID_REQUEST_PRIVILEGES,
                           LocalizedText(TextId::kMenuItemRequestPrivileges), false);
    }
    shell.AppendMenuItem(menu, ID_ELEVATE, FormatText<TextId::kMenuItemElevate>(m_identityName),
                         false);
    const uint32_t days = GetElevateForXDays();
    if (days != 0) {
      shell.AppendMenuItem(menu, ID_ELEVATE_DAYS,
                           FormatText<TextId::kMenuElevateForXDays>(days), false);
    }
  }
  shell.AppendMenuItem(menu, ID_ABOUT, LocalizedText(TextId::kMenuItemAbout), false);
  if (showSettings) {
    shell.AppendMenuItem(menu, ID_SETTINGS, LocalizedText(TextId::kMenuItemSettings),
                         userConfig == L"0");
  }
  if (showStatus) {
    shell.AppendMenuItem(menu, ID_STATUS, LocalizedText(TextId::kMenuItemStatus), false);
  }
}

void CMainDlg::TrackTrayMenu(const std::wstring& userConfig) {
  switch (ShellUi().TrackMenuAtCursor(m_trayMenu.get(), m_hWnd)) {
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

void CMainDlg::OnSettings(const std::wstring& userConfig) {
  if (!IsServiceRunning()) {
    // ShowBalloon stays silent during a shell-hook elevation, as this case must.
    ShowBalloon(NotifyServiceNotRunning, 0);
    return;
  }
  CSettingsDlg dialog(userConfig);
  if (dialog.DoModal() == kIdOk) UpdateIdentityName(dialog.identity());
}

void CMainDlg::OnRequestPrivileges() {
  CAskPinDlg dialog;
  if (dialog.DoModal() != kIdOk) return;
  CodePage& codePage = AnsiCodePage();
  const std::string pin = codePage.WideToAnsi(dialog.pin());
  if (!CheckPin(codePage.WideToAnsi(dialog.userCode()), pin)) {
    ShellUi().ShowMessageBox(m_hWnd, L"The PIN is incorrect", L"PIN Error", win::kMbIconError);
    return;
  }
  // Spent before the request, so a refused request does not make it usable again.
  RecordUsedPin(pin);
  TryToElevate(0);
}
void CMainDlg::OnStatus() {
  CStatusDlg dialog;
  dialog.DoModal();
}
void CMainDlg::OnAbout() {
  CAboutDlg dialog;
  dialog.DoModal();
}

// ---- Requests ------------------------------------------------------------------------------

void CMainDlg::TryToElevate(uint32_t days) {
  if (IsElevationActive()) {
    const uint32_t remaining = GetRemainingSeconds();
    if (Load(g_nElevationKind) != KindAtLogin) {
      ShowBalloon(NotifyAlreadyMemberTimeLeft, remaining);
    } else {
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
    AddUserToAdmin(m_hWnd, KindPeriod, GetAccessPeriod(), PromptForReason);
  } else {
    AddUserToAdmin(m_hWnd, KindDays, DaysToSeconds(days), PromptForReason);
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
          return FormatText<TextId::kBalloonStartMessage>(StartBalloonMinutes(GetAccessPeriod()));
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
      return FormatText<TextId::kBalloonAlreadyAdmin>(m_identityName);
    case NotifyAlreadyMemberTimeLeft:
      return FormatText<TextId::kBalloonAlreadyAdmin2>(m_identityName, DurationText(seconds));
    case NotifyServiceNotRunning:
      return FormatText<TextId::kBalloonServiceNotRunning>();
    case NotifyElevatedAtLogin:
      return FormatText<TextId::kEternalElevation>(m_identityName);
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
  ShellUi().NotifyIcon(nim::kModify, data);
}

// ---- Countdown and session end ------------------------------------------------------------

void CMainDlg::OnCountdownTimer() {
  std::wstring visible;
  if (!ReadMachineNumberText(L"VisibleCountDown", visible) || visible != L"1") return;
  // One read of "timerEnd" a second, not two.
  const uint32_t seconds = ActiveRemainingSeconds();
  if (seconds < 1 || seconds > kCountdownMaxSeconds) return;
  OwnedIcon icon = DrawCountdownIcon(m_hWnd, seconds);
  SetTrayIcon(icon.get());
  // The previous tick's icon is only needed until the next one is shown.
  m_countdownIcon = std::move(icon);
}

void CMainDlg::OnEndSession(uintptr_t wParam, intptr_t lParam) {
  OnEndSessionResuscitate(wParam, lParam);
}

void CMainDlg::UpdateIdentityName(const std::optional<std::wstring>& identity) {
  std::wstring choice;
  if (identity) {
    choice = *identity;
  } else if (!ReadMachineNumberText(L"Identity", choice) || choice.empty()) {
    choice = L"1";
  }
  m_identityName = IdentityNameFor(choice);
}

}  // namespace velmora
