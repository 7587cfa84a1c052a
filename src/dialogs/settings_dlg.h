// The settings dialog: four of the service's settings, sent to the service to store.
#pragma once

#include <string>

#include "platform/window_system.h"

namespace velmora {

class CSettingsDlg : public WindowHandler {
 public:
  // userConfig: the UserConfig text; "1" locks "Elevate at login" and "Resuscitate:", "2" only
  // "Resuscitate:".
  explicit CSettingsDlg(std::wstring userConfig) : m_strUserConfig(std::move(userConfig)) {}

  // Runs the dialog modally over the thread's active window: 1 after OK (the record is sent),
  // 2 after Cancel or the close box (nothing is sent).
  intptr_t DoModal();

  bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t& result) override;

  // After OK: "1", "2" or "3" for the chosen identity, empty when no choice was checked.
  const std::wstring& identity() const { return m_strIdentity; }

 private:
  intptr_t OnInitDialog();
  void OnOK();

  Hwnd m_hWnd = nullptr;
  const std::wstring m_strUserConfig;
  std::wstring m_strIdentity;
};

}  // namespace velmora
