// The Status dialog: the members of the local Administrators group and of the access group,
// and the time left of the running elevation.
#pragma once

#include "platform/window_system.h"

namespace velmora {

class CStatusDlg : public WindowHandler {
 public:
  // Runs the dialog modally over the thread's active window; 0 after OK, 2 after Cancel.
  intptr_t DoModal();

  bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t& result) override;

 private:
  intptr_t OnInitDialog();
  // Fills a list with the group's members; a failed query leaves it empty and says so.
  void ShowMembers(int list, const std::wstring& group);
  void ShowRemainingTime();

  Hwnd m_hWnd = nullptr;
};

}  // namespace velmora
