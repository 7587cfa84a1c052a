// Dialog controls over user32.
#pragma once

#include "platform/dialog_host.h"

namespace velmora {

class Win32DialogHost final : public DialogHost {
 public:
  void SetItemText(Hwnd dialog, int id, const std::wstring& text) override;
  std::wstring GetItemText(Hwnd dialog, int id) override;
  void ShowItem(Hwnd dialog, int id, bool show) override;
  void EnableItem(Hwnd dialog, int id, bool enable) override;
  void CheckItem(Hwnd dialog, int id, bool checked) override;
  bool IsItemChecked(Hwnd dialog, int id) override;
  void FocusItem(Hwnd dialog, int id) override;
  void ClearList(Hwnd dialog, int id) override;
  void AddListEntry(Hwnd dialog, int id, const std::wstring& text) override;
  void EndDialog(Hwnd dialog, intptr_t result) override;
  void BringToForeground(Hwnd window) override;
  int ItemId(Hwnd control) override;
};

}  // namespace velmora
