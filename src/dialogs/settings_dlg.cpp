#include "dialogs/settings_dlg.h"

#include "dialogs/modal.h"
#include "elevation/channel.h"
#include "platform/platform.h"
#include "resource.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

struct IdentityChoice {
  int control;
  const wchar_t* identity;
};
constexpr IdentityChoice kIdentityChoices[] = {{IDC_SETTINGS_USERNAME, L"1"},
                                               {IDC_SETTINGS_FULLNAME, L"2"},
                                               {IDC_SETTINGS_DOMAIN_USERNAME, L"3"}};

// A number setting's text, or the fallback when it is missing or empty.
std::wstring Or(const std::wstring& text, const wchar_t* fallback) {
  return text.empty() ? std::wstring(fallback) : text;
}

}  // namespace

intptr_t CSettingsDlg::DoModal() {
  return RunModalOverActiveWindow(IDD_SETTINGS, this);
}

bool CSettingsDlg::ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t,
                                        intptr_t& result) {
  result = 0;
  if (message == msg::kInitDialog) {
    m_hWnd = hwnd;
    result = OnInitDialog();
    return true;
  }
  if (message != msg::kCommand) return false;
  const int id = CommandId(wParam);
  if (id == kIdOk) {
    OnOK();
    return true;
  }
  if (id == kIdCancel) {
    Dialogs().EndDialog(m_hWnd, kIdCancel);
    return true;
  }
  return false;
}

intptr_t CSettingsDlg::OnInitDialog() {
  DialogHost& host = Dialogs();
  Windows().CenterWindow(m_hWnd);

  // The managed document may set the period; what it says is what is shown.
  std::wstring period;
  GetSetting(L"AccessPeriod", period, SettingKind::kNumber);
  host.SetItemText(m_hWnd, IDC_SETTINGS_ACCESS_PERIOD, period.empty() ? L"120" : period);

  // A failed read leaves the text empty.
  std::wstring identity;
  ReadMachineNumberText(L"Identity", identity);
  for (const IdentityChoice& choice : kIdentityChoices) {
    host.CheckItem(m_hWnd, choice.control, Or(identity, L"1") == choice.identity);
  }
  std::wstring atLogin;
  ReadMachineNumberText(L"ElevateAtLogin", atLogin);
  host.CheckItem(m_hWnd, IDC_SETTINGS_ELEVATE_AT_LOGIN, Or(atLogin, L"0") == L"1");
  std::wstring resuscitate;
  ReadMachineNumberText(L"Resuscitate", resuscitate);
  host.SetItemText(m_hWnd, IDC_SETTINGS_RESUSCITATE, Or(resuscitate, L"0"));

  host.BringToForeground(m_hWnd);

  const bool lockAtLogin = m_strUserConfig == L"1";
  const bool lockResuscitate = lockAtLogin || m_strUserConfig == L"2";
  host.EnableItem(m_hWnd, IDC_SETTINGS_ELEVATE_AT_LOGIN, !lockAtLogin);
  host.EnableItem(m_hWnd, IDC_SETTINGS_RESUSCITATE_LABEL, !lockResuscitate);
  host.EnableItem(m_hWnd, IDC_SETTINGS_RESUSCITATE, !lockResuscitate);
  return 1;
}

void CSettingsDlg::OnOK() {
  DialogHost& host = Dialogs();
  // Locked controls are read like the others: what could not be changed goes back as shown.
  const std::wstring period = host.GetItemText(m_hWnd, IDC_SETTINGS_ACCESS_PERIOD);
  const std::wstring resuscitate = host.GetItemText(m_hWnd, IDC_SETTINGS_RESUSCITATE);
  std::wstring identity;
  for (const IdentityChoice& choice : kIdentityChoices) {
    if (host.IsItemChecked(m_hWnd, choice.control)) identity = choice.identity;
  }
  const bool atLogin = host.IsItemChecked(m_hWnd, IDC_SETTINGS_ELEVATE_AT_LOGIN);
  m_strIdentity = identity;

  if (WriteSettingsRecord(BuildSettingsRecord(period, identity, resuscitate, atLogin))) {
    SignalSaveSettings();
  }
  host.EndDialog(m_hWnd, kIdOk);
}

}  // namespace velmora
