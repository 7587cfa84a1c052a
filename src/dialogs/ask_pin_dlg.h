// The help-desk PIN dialog: shows a new user code, takes the PIN the service desk gives back.
#pragma once

#include <string>

#include "platform/window_system.h"

namespace velmora {

class CAskPinDlg : public WindowHandler {
 public:
  // Runs the dialog modally over the thread's active window: 1 after Accept (the texts are then
  // in userCode() and pin()), 2 after Cancel.
  intptr_t DoModal();

  bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t& result) override;

  const std::wstring& userCode() const { return m_userCode; }
  const std::wstring& pin() const { return m_pin; }

 private:
  Hwnd m_hWnd = nullptr;
  std::wstring m_userCode;
  std::wstring m_pin;
};

}  // namespace velmora
