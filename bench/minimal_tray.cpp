// The floor for the tray's start-up benchmark: the least a notification-area program must do
// (one hidden window, one icon, one message loop). VelmoraTray is compared against it.

#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayCallback = WM_USER + 1;
constexpr wchar_t kClassName[] = L"VelmoraBenchMinimalTray";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return 1;
  // Not message-only: the shell and the benchmark find ordinary hidden top-level windows.
  HWND hwnd = CreateWindowExW(0, kClassName, L"Minimal tray", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
  if (!hwnd) return 1;

  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = hwnd;
  nid.uID = 1;
  nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  nid.uCallbackMessage = kTrayCallback;
  nid.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  static constexpr wchar_t kTip[] = L"Minimal tray";
  static_assert(sizeof(kTip) <= sizeof(nid.szTip), "tip fits");
  for (size_t i = 0; i < sizeof(kTip) / sizeof(kTip[0]); ++i) nid.szTip[i] = kTip[i];
  Shell_NotifyIconW(NIM_ADD, &nid);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Shell_NotifyIconW(NIM_DELETE, &nid);
  return static_cast<int>(msg.wParam);
}
