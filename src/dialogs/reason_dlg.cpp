#include "dialogs/reason_dlg.h"

#include "dialogs/modal.h"
#include "dialogs/window_icons.h"
#include "localization/localized_texts.h"
#include "platform/platform.h"
#include "resource.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

constexpr size_t kMinimumReasonLength = 3;

}  // namespace

intptr_t CReasonDlg::DoModal() {
  return RunModalOverActiveWindow(IDD_REASON, this);
}

bool CReasonDlg::ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam,
                                      intptr_t lParam, intptr_t& result) {
  result = 0;
  switch (message) {
    case msg::kInitDialog:
      m_hWnd = hwnd;
      result = OnInitDialog();
      return true;
    case msg::kCommand: {
      const int id = CommandId(wParam);
      if (id == kIdOk) {
        OnConfirm();
        return true;
      }
      if (id == kIdCancel) {
        Dialogs().EndDialog(m_hWnd, kIdCancel);
        return true;
      }
      return false;
    }
    case msg::kNotify:
      if (static_cast<int>(wParam) != IDC_REASON_LINK) return false;
      OnLinkNotify(reinterpret_cast<const void*>(lParam));
      return true;
    case msg::kDestroy:
      Store(g_bReasonDlgOpen, 0);
      // The window no longer draws them.
      m_icons = WindowIcons();
      return true;
    default:
      return false;
  }
}

intptr_t CReasonDlg::OnInitDialog() {
  Store(g_bReasonDlgOpen, 1);
  DialogHost& host = Dialogs();
  WindowSystem& windows = Windows();

  std::wstring link;
  if (ReadUserString(L"RFELINK", link) && !link.empty()) {
    m_link = link;
    host.SetItemText(m_hWnd, IDC_REASON_LINK, L"<a>" + link + L"</a>");
    host.ShowItem(m_hWnd, IDC_REASON_LINK, true);
  }

  m_icons = SetProgramIcons(m_hWnd);

  host.SetItemText(m_hWnd, IDC_REASON_PROMPT, LocalizedText(TextId::kElevateReasonDlgPrompt));
  host.SetItemText(m_hWnd, kIdOk, LocalizedText(TextId::kElevateReasonDlgButton1));
  host.SetItemText(m_hWnd, kIdCancel, LocalizedText(TextId::kElevateReasonDlgButton2));

  windows.CenterWindow(m_hWnd);
  host.BringToForeground(m_hWnd);
  host.FocusItem(m_hWnd, IDC_REASON_EDIT);
  // The focus is set: the dialog manager must not move it to the first control.
  return 0;
}

void CReasonDlg::OnConfirm() {
  m_reason = Dialogs().GetItemText(m_hWnd, IDC_REASON_EDIT);
  if (m_reason.size() >= kMinimumReasonLength) Dialogs().EndDialog(m_hWnd, kIdOk);
}

void CReasonDlg::OnLinkNotify(const void* header) {
  const auto* notify = static_cast<const NotifyHeader*>(header);
  if (notify != nullptr && notify->code == kNmClick && !m_link.empty()) {
    ShellUi().OpenWithShell(m_link);
  }
}

ReasonOutcome AskElevationReason(std::wstring* reason) {
  CReasonDlg dialog;
  if (dialog.DoModal() != kIdOk) return kReasonCancelled;
  *reason = dialog.reason();
  return kReasonGiven;
}

}  // namespace velmora
