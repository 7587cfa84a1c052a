// The reason the user must give before an audited elevation request.
#pragma once

#include <string>

#include "dialogs/window_icons.h"
#include "platform/window_system.h"
#include "resource.h"

namespace velmora {

class CReasonDlg : public WindowHandler {
 public:
  // Runs the dialog modally over the thread's active window: 1 when the user confirmed a reason
  // of at least three characters (then in reason()), 2 when cancelled.
  intptr_t DoModal();

  bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t& result) override;

  const std::wstring& reason() const { return m_reason; }
  const std::wstring& link() const { return m_link; }

 private:
  intptr_t OnInitDialog();
  void OnConfirm();
  void OnLinkNotify(const void* header);

  Hwnd m_hWnd = nullptr;
  WindowIcons m_icons;
  std::wstring m_link;
  std::wstring m_reason;
};

enum ReasonOutcome { kReasonGiven, kReasonCancelled };

// Shows the dialog for one request; the typed reason on kReasonGiven.
ReasonOutcome AskElevationReason(std::wstring* reason);

}  // namespace velmora
