#include "velmora_probe.h"

extern "C" __declspec(dllexport) DWORD WINAPI VelmoraProbeReadMenu(LPVOID param) {
  auto* block = static_cast<velmora_probe::MenuBlock*>(param);
  HMENU menu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(block->menu));
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(block->window));
  block->count = GetMenuItemCount(menu);
  for (int i = 0; i < block->count && i < 32; ++i) {
    velmora_probe::MenuItemInfo& item = block->items[i];
    item.id = GetMenuItemID(menu, i);
    item.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    GetMenuItemRect(window, menu, static_cast<UINT>(i), &item.rect);
    GetMenuStringW(menu, static_cast<UINT>(i), item.text, 128, MF_BYPOSITION);
  }
  return static_cast<DWORD>(block->count);
}
