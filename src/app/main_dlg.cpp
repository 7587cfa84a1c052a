#include "app/main_dlg.h"

#include "app/globals.h"
#include "elevation/elevation_timer.h"
#include "elevation/request_flow.h"
#include "elevation/shell_hook.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace velmora {

CMainDlg::~CMainDlg() {
  // DefaultIcon stays for the life of the process; the small one goes with the window object.
  if (SmallIcon != nullptr) Windows().DestroyIcon(SmallIcon);
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
    SetTrayIcon(DefaultIcon);
    return true;
  }
  if (message == msg::kDestroy) {
    OnDestroy();
    return true;
  }
  if (message == msg::kEndSession) {
    OnEndSession(wParam);
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
  IconHandle big = windows.LoadIconResource(IDI_VELMORA, windows.SystemMetric(kSmCxIcon),
                                            windows.SystemMetric(kSmCyIcon));
  windows.Send(m_hWnd, msg::kSetIcon, kIconBig, reinterpret_cast<intptr_t>(big));
  SmallIcon = windows.LoadIconResource(IDI_VELMORA, windows.SystemMetric(kSmCxSmIcon),
                                       windows.SystemMetric(kSmCySmIcon));
  windows.Send(m_hWnd, msg::kSetIcon, kIconSmall, reinterpret_cast<intptr_t>(SmallIcon));

  if (CMessageLoop* loop = AppModule().GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }

  // Worker threads post to g_hMainWnd, so it is set before any of them starts.
  g_hMainWnd.store(m_hWnd, std::memory_order_relaxed);
  DefaultIcon = big;

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

// The notification icon, balloons, countdown and end-of-session handling are not wired yet;
// their messages are accepted and change nothing.
void CMainDlg::ShowBalloon(uintptr_t, int) {}
void CMainDlg::OnTrayIcon(intptr_t) {}
void CMainDlg::AddTrayIcon() {}
void CMainDlg::OnCountdownTimer() {}
void CMainDlg::SetTrayIcon(IconHandle) {}
void CMainDlg::OnEndSession(uintptr_t) {}
void CMainDlg::UpdateIdentityName(const std::wstring& identity) {
  std::wstring choice = identity;
  if (choice.empty() && (!ReadMachineDword(L"Identity", choice) || choice.empty())) {
    choice = L"1";
  }
  IdentityName = IdentityNameFor(choice);
}

}  // namespace velmora
