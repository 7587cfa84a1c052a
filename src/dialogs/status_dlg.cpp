#include "dialogs/status_dlg.h"

#include <string>
#include <vector>

#include "dialogs/modal.h"
#include "elevation/timer_end.h"
#include "identity/local_groups.h"
#include "platform/platform.h"
#include "resource.h"
#include "settings/settings_store.h"
#include "text/format.h"

namespace velmora {
namespace {

constexpr uintptr_t kRemainingTimeTimerId = 1;
constexpr uint32_t kRemainingTimePeriodMs = 1000;

void ShowError(Hwnd owner, const std::wstring& text) {
  ShellUi().ShowMessageBox(owner, text, L"Error", win::kMbOk | win::kMbIconError);
}

}  // namespace

intptr_t CStatusDlg::DoModal() {
  return RunModalOverActiveWindow(IDD_STATUS, this);
}

bool CStatusDlg::ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t,
                                      intptr_t& result) {
  result = 0;
  switch (message) {
    case msg::kInitDialog:
      m_hWnd = hwnd;
      result = OnInitDialog();
      return true;
    case msg::kCommand: {
      const int id = CommandId(wParam);
      if (id == kIdOk) {
        Dialogs().EndDialog(m_hWnd, 0);
      } else if (id == kIdCancel) {
        Dialogs().EndDialog(m_hWnd, kIdCancel);
      } else {
        return false;
      }
      return true;
    }
    case msg::kTimer:
      if (wParam != kRemainingTimeTimerId) return false;
      ShowRemainingTime();
      return true;
    default:
      return false;
  }
}

intptr_t CStatusDlg::OnInitDialog() {
  DialogHost& host = Dialogs();
  Windows().CenterWindow(m_hWnd);

  std::wstring accessGroup;
  ReadMachineString(L"AccessGroup", accessGroup);
  const bool hasAccessGroup = !accessGroup.empty();
  if (hasAccessGroup) {
    host.SetItemText(m_hWnd, IDC_STATUS_GROUP_LABEL, FormatWide(L"%s members", {accessGroup}));
  }
  host.ShowItem(m_hWnd, IDC_STATUS_GROUP_LABEL, hasAccessGroup);
  host.ShowItem(m_hWnd, IDC_STATUS_GROUP, hasAccessGroup);

  // The line is kept up to date while the dialog is open.
  ShowRemainingTime();
  Windows().StartTimer(m_hWnd, kRemainingTimeTimerId, kRemainingTimePeriodMs);

  std::wstring admins;
  if (GetAdminGroupName(&admins)) {
    ShowMembers(IDC_STATUS_ADMINS, admins);
  } else {
    ShowError(m_hWnd, L"Error retrieving default administrators group name");
  }
  if (hasAccessGroup) ShowMembers(IDC_STATUS_GROUP, accessGroup);

  host.BringToForeground(m_hWnd);
  return 1;
}

void CStatusDlg::ShowMembers(int list, const std::wstring& group) {
  std::vector<std::wstring> members;
  if (!GetLocalGroupMembers(group, &members)) {
    ShowError(m_hWnd, FormatWide(L"Error obtaining list of members of group %s", {group}));
    return;
  }
  DialogHost& host = Dialogs();
  host.ClearList(m_hWnd, list);
  for (const std::wstring& member : members) host.AddListEntry(m_hWnd, list, member);
}

void CStatusDlg::ShowRemainingTime() {
  const uint32_t seconds = ActiveRemainingSeconds();
  Dialogs().SetItemText(
      m_hWnd, IDC_STATUS_LINE,
      seconds == 0 ? std::wstring()
                   : FormatWide(L"%u seconds remain before reverting the previleges", {seconds}));
}

}  // namespace velmora
