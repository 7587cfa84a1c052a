// velmora_probe.dll: hooked by the driver onto the thread of the tray's open popup menu, where it
// reads the items (a menu belongs to its process: Wine refuses it to any other).
#include <windows.h>

#include <cstdio>

// One copy for every process that loads the library: the tray writes, the driver reads.
__attribute__((section(".shared"), shared)) char g_items[8192] = "";

extern "C" __declspec(dllexport) char* VelmoraProbeItems() { return g_items; }

// "<id> <grayed 0|1> <x> <y> <text>" per item, x/y its centre on the screen.
extern "C" __declspec(dllexport) LRESULT CALLBACK VelmoraProbeHook(int code, WPARAM wparam,
                                                                    LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && sent->message == WM_NULL && sent->lParam == 0x5EED) {
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(sent->hwnd, MN_GETHMENU, 0, 0));
    int used = 0;
    for (int i = 0; i < GetMenuItemCount(menu) && used < 7000; ++i) {
      wchar_t text[128] = L"";
      char utf8[512] = "";
      RECT r{};
      GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
      WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
      GetMenuItemRect(sent->hwnd, menu, i, &r);
      used += std::snprintf(g_items + used, sizeof(g_items) - used, "%u %d %ld %ld %s\n",
                            GetMenuItemID(menu, i), (GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) ? 1 : 0,
                            (r.left + r.right) / 2, (r.top + r.bottom) / 2, utf8);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
