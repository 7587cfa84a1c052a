#include "dialogs/ask_pin_dlg.h"

#include "dialogs/modal.h"
#include "elevation/pin.h"
#include "platform/platform.h"
#include "resource.h"

namespace velmora {

intptr_t CAskPinDlg::DoModal() {
  return RunModalOverActiveWindow(IDD_ASK_PIN, this);
}

bool CAskPinDlg::ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t,
                                      intptr_t& result) {
  result = 0;
  DialogHost& host = Dialogs();
  if (message == msg::kInitDialog) {
    m_hWnd = hwnd;
    Windows().CenterWindow(m_hWnd);
    host.FocusItem(m_hWnd, IDC_PIN_CODE);
    host.SetItemText(m_hWnd, IDC_PIN_USER_CODE, AnsiCodePage().AnsiToWide(MakeUserCode()));
    // The focus is set: the dialog manager must not move it to the first control.
    return true;
  }
  if (message != msg::kCommand) return false;
  const int id = CommandId(wParam);
  if (id != kIdOk && id != kIdCancel) return false;
  if (id == kIdOk) {
    m_userCode = host.GetItemText(m_hWnd, IDC_PIN_USER_CODE);
    m_pin = host.GetItemText(m_hWnd, IDC_PIN_CODE);
  }
  host.EndDialog(m_hWnd, id);
  return true;
}

}  // namespace velmora
