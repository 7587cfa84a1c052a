#include "platform/win32/win32_window_system.h"

#include <windows.h>

#include <commctrl.h>

namespace velmora {

static_assert(WM_INITDIALOG == msg::kInitDialog && WM_TIMER == msg::kTimer &&
                  WM_DESTROY == msg::kDestroy && WM_ENDSESSION == msg::kEndSession &&
                  WM_USER == msg::kUser && WM_SETICON == msg::kSetIcon &&
                  WM_CTLCOLORSTATIC == msg::kCtlColorStatic,
              "message values cross the seam unchanged");
static_assert(SM_CXICON == kSmCxIcon && SM_CYICON == kSmCyIcon && SM_CXSMICON == kSmCxSmIcon &&
                  SM_CYSMICON == kSmCySmIcon,
              "system metric indexes cross the seam unchanged");

namespace {

WindowHandler* HandlerOf(HWND hwnd) {
  return reinterpret_cast<WindowHandler*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Messages whose dialog-procedure result is the message's own result; for every other
// message a dialog procedure returns TRUE and leaves the result in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
      return true;
    default:
      return false;
  }
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Messages before WM_INITDIALOG (WM_SETFONT, WM_NCCREATE …) arrive before the handler is
  // known and get the default handling.
  if (message == WM_INITDIALOG) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
  WindowHandler* handler = HandlerOf(hwnd);
  if (handler == nullptr) return FALSE;

  intptr_t result = 0;
  const bool handled = handler->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
  // Nothing follows WM_NCDESTROY; the handler may be gone before a stray message could.
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (!handled) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
  return TRUE;
}

HWND ToHwnd(Hwnd hwnd) { return static_cast<HWND>(hwnd); }

MSG ToMsg(const Message& message) {
  MSG out = {};
  out.hwnd = ToHwnd(message.hwnd);
  out.message = message.message;
  out.wParam = message.wParam;
  out.lParam = message.lParam;
  // The message being handled is the thread's last retrieved one: its time and position.
  out.time = static_cast<DWORD>(::GetMessageTime());
  const DWORD position = ::GetMessagePos();
  out.pt.x = static_cast<short>(LOWORD(position));
  out.pt.y = static_cast<short>(HIWORD(position));
  return out;
}

void FromMsg(const MSG& message, Message* out) {
  out->hwnd = message.hwnd;
  out->message = message.message;
  out->wParam = message.wParam;
  out->lParam = message.lParam;
}

}  // namespace

void Win32WindowSystem::InitCommonControls(uint32_t classes) {
  INITCOMMONCONTROLSEX init;
  init.dwSize = sizeof(init);
  init.dwICC = classes;
  ::InitCommonControlsEx(&init);
}

Hwnd Win32WindowSystem::CreateModelessDialog(int templateId, Hwnd parent,
                                             WindowHandler* handler) {
  return ::CreateDialogParamW(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEW(templateId),
                              ToHwnd(parent), &DialogProc, reinterpret_cast<LPARAM>(handler));
}

intptr_t Win32WindowSystem::RunModalDialog(int templateId, Hwnd parent, WindowHandler* handler) {
  return ::DialogBoxParamW(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEW(templateId),
                           ToHwnd(parent), &DialogProc, reinterpret_cast<LPARAM>(handler));
}

Hwnd Win32WindowSystem::ActiveWindow() { return ::GetActiveWindow(); }

bool Win32WindowSystem::DestroyWindow(Hwnd hwnd) { return ::DestroyWindow(ToHwnd(hwnd)) != FALSE; }

void Win32WindowSystem::CenterWindow(Hwnd hwnd) {
  const HWND window = ToHwnd(hwnd);
  RECT rect;
  if (!::GetWindowRect(window, &rect)) return;
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  const bool child = (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) != 0;

  RECT area;
  RECT over;
  if (child) {
    const HWND parent = ::GetParent(window);
    if (parent == nullptr || !::GetClientRect(parent, &area)) return;
    over = area;
  } else {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
      return;
    }
    area = monitor.rcWork;
    over = area;
    // Over the owner when it can be seen; a hidden or minimised owner gives no useful place.
    const HWND owner = ::GetWindow(window, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
      ::GetWindowRect(owner, &over);
    }
  }

  LONG x = over.left + ((over.right - over.left) - width) / 2;
  LONG y = over.top + ((over.bottom - over.top) - height) / 2;
  // Keep the whole window on the work area (or the parent's client area).
  if (x + width > area.right) x = area.right - width;
  if (x < area.left) x = area.left;
  if (y + height > area.bottom) y = area.bottom - height;
  if (y < area.top) y = area.top;
  ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32WindowSystem::PeekWaiting(Message* message) {
  MSG waiting;
  if (!::PeekMessageW(&waiting, nullptr, 0, 0, PM_NOREMOVE)) return false;
  if (message != nullptr) FromMsg(waiting, message);
  return true;
}

int Win32WindowSystem::FetchMessage(Message* message) {
  MSG fetched = {};
  const BOOL result = ::GetMessageW(&fetched, nullptr, 0, 0);
  if (result != -1) FromMsg(fetched, message);
  return result;
}

void Win32WindowSystem::TranslateAndDispatch(const Message& message) {
  const MSG native = ToMsg(message);
  ::TranslateMessage(&native);
  ::DispatchMessageW(&native);
}

bool Win32WindowSystem::IsDialogMessageFor(Hwnd dialog, Message* message) {
  MSG native = ToMsg(*message);
  return ::IsDialogMessageW(ToHwnd(dialog), &native) != FALSE;
}

bool Win32WindowSystem::Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return ::PostMessageW(ToHwnd(hwnd), message, wParam, lParam) != FALSE;
}

intptr_t Win32WindowSystem::Send(Hwnd hwnd, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) {
  return ::SendMessageW(ToHwnd(hwnd), message, wParam, lParam);
}

void Win32WindowSystem::PostQuit(int exitCode) { ::PostQuitMessage(exitCode); }

bool Win32WindowSystem::StartTimer(Hwnd hwnd, uintptr_t id, uint32_t periodMs) {
  return ::SetTimer(ToHwnd(hwnd), id, periodMs, nullptr) != 0;
}

uint32_t Win32WindowSystem::RegisterMessageName(const std::wstring& name) {
  return ::RegisterWindowMessageW(name.c_str());
}

int Win32WindowSystem::SystemMetric(int index) { return ::GetSystemMetrics(index); }

IconHandle Win32WindowSystem::LoadIconResource(int id, int cx, int cy) {
  // Without LR_SHARED the icon is created for the caller, who must destroy it.
  return ::LoadImageW(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy,
                      LR_DEFAULTCOLOR);
}

void Win32WindowSystem::DestroyIcon(IconHandle icon) { ::DestroyIcon(static_cast<HICON>(icon)); }

}  // namespace velmora
