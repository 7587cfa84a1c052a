// The information and settings dialogs, opened as the menu opens them: what each shows from the
// platform and the registry, what its controls do, and what leaves the dialog.
#include "dialogs/about_dlg.h"
#include "dialogs/settings_dlg.h"
#include "dialogs/status_dlg.h"
#include "settings/managed_settings.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Names = std::vector<std::wstring>;

class DialogsTest : public TrayTest {
 protected:
  void SetUp() override { SignIn(); }
  // Runs `dialog` modally: `during` plays the user, then the buttons are pressed in turn.
  intptr_t Run(WindowHandler& dialog, std::vector<int> buttons,
               const std::function<void()>& during = nullptr) {
    fake.windows.modalScript = [&](Hwnd hwnd) {
      shown = hwnd;
      if (during) during();
      for (int id : buttons) Send(msg::kCommand, id);
    };
    return fake.windows.RunModalDialog(0, nullptr, &dialog);
  }
  fakes::FakeWindows::Item& Control(int id) { return fake.windows.item(shown, id); }
  intptr_t Send(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    return fake.windows.Send(shown, message, wParam, lParam);
  }
  void Notify(int id, uint32_t code) {
    NotifyHeader header{nullptr, static_cast<uintptr_t>(id), code};
    Send(msg::kNotify, id, reinterpret_cast<intptr_t>(&header));
  }
  // The texts of the controls, "|" between them.
  std::wstring Texts(std::initializer_list<int> ids) {
    std::wstring texts;
    for (int id : ids) texts += L"|" + Control(id).text;
    return texts.substr(1);
  }
  Hwnd shown = nullptr;
};

TEST_F(DialogsTest, ServiceProgramIsTheCommandLinesFirstProgramName) {
  fake.files.SetEnvironment(L"ProgramFiles", L"C:\\Program Files");
  const std::pair<std::wstring, std::wstring> paths[] = {
      {L"\"C:\\Program Files\\V\\svc.exe\" -k \"a b\"", L"C:\\Program Files\\V\\svc.exe"},
      {L"  \"C:\\V\\svc.exe", L"C:\\V\\svc.exe"},  // no closing quote
      {L"C:\\Program Files\\V\\svc.EXE -k run", L"C:\\Program Files\\V\\svc.EXE"},
      {L"C:\\my.exec\\svc.exe /x", L"C:\\my.exec\\svc.exe"},
      {L"C:\\V\\svc.bin --flag ", L"C:\\V\\svc.bin --flag"},  // no program name to end at
      {L"%ProgramFiles%\\V\\svc.exe -k", L"C:\\Program Files\\V\\svc.exe"},
      {L"%Unknown%\\svc.exe", L"%Unknown%\\svc.exe"},
      {L"", L""}};
  for (const auto& [line, path] : paths) EXPECT_EQ(path, ProgramPathOf(line)) << line;
}

TEST_F(DialogsTest, AboutShowsTheThreeVersionsTheLicenceAndOpensLinksOnlyWhenClicked) {
  fake.files.modulePath = L"C:\\Velmora\\VelmoraTray.exe";
  const wchar_t kService[] = L"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe";
  // Only the library beside the tray counts, never one the search path would find.
  fake.shell.productVersions = {{L"VelmoraSH64.dll", {1, 1}}};
  // The service's command line (null: not installed); tray, service, library version, licence.
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {kService, L"||Not found|"},  // no file carries version information yet, no licence
      {nullptr, L"1.2.3.65535|not running|9.10.11.12|Licence"},
      {L"\"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe\" -run",
       L"1.2.3.65535|5.6.7.8|9.10.11.12|Licence"}};
  for (const auto& [command, shown] : cases) {
    fake.services.binaryPaths.clear();
    if (command) fake.services.binaryPaths[L"VelmoraFrameworkService"] = command;
    CAboutDlg dialog;
    EXPECT_EQ(kIdOk, Run(dialog, {99, kIdOk}));
    EXPECT_EQ(shown, Texts({IDC_ABOUT_TRAY_VERSION, IDC_ABOUT_SERVICE_VERSION,
                            IDC_ABOUT_SHELL_VERSION, IDC_ABOUT_LICENSE}));
    fake.shell.productVersions[fake.files.modulePath] = {0x10002, 0x3FFFF};
    fake.shell.productVersions[kService] = {0x50006, 0x70008};
    fake.shell.productVersions[L"C:\\Velmora\\VelmoraSH64.dll"] = {0x9000A, 0xB000C};
    fake.shell.resources[{L"LIC", IDR_LICENSE}] = "Licence";
  }
  const int icons = fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon);
  CAboutDlg dialog;
  EXPECT_EQ(kIdCancel, Run(dialog, {kIdCancel}, [&] {
              EXPECT_EQ(reinterpret_cast<intptr_t>(fake.gdi.StockWhiteBrush()),
                        Send(msg::kCtlColorStatic, 0, IDC_ABOUT_LICENSE));
              EXPECT_EQ(0, Send(msg::kCtlColorStatic, 0, IDC_ABOUT_PRODUCT));
              Notify(IDC_ABOUT_SOCIAL_LINK, 0xFFFFFFF0u);
              Notify(IDC_ABOUT_PRODUCT, kNmClick);
              EXPECT_TRUE(fake.shell.opened.empty());
              Notify(IDC_ABOUT_SOCIAL_LINK, kNmClick);
              Notify(IDC_ABOUT_WEB_LINK, kNmClick);
            }));
  EXPECT_EQ((Names{kMakerSocialPage, kMakerWebPage}), fake.shell.opened);
  EXPECT_EQ(icons, fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon));
}

TEST_F(DialogsTest, StatusListsBothGroupsCountsDownAndSaysWhatCouldNotBeRead) {
  const struct {
    const wchar_t* adminGroup;  // null: the name cannot be found
    const wchar_t* accessGroup;
    bool listsFail;
    const wchar_t* shown;  // both lists and the access group's label, "hidden" when it is
    const wchar_t* boxes;
  } cases[] = {
      {L"Administrators", L"", false, L"CORP\\zeta,CORP\\alpha,||hidden", L""},
      {L"Administratoren", L"Staff", false, L"CORP\\zeta,CORP\\alpha,|CORP\\b,|Staff members", L""},
      {nullptr, L"Staff", true, L"||Staff members",
       L"(owned) Error: Error retrieving default administrators group name (16)"
       L"(owned) Error: Error obtaining list of members of group Staff (16)"}};
  for (const auto& c : cases) {
    const auto members = [&](Names names) {
      return c.listsFail ? std::nullopt : std::optional(names);
    };
    fake.accounts.groupName = c.adminGroup ? std::optional(c.adminGroup) : std::nullopt;
    fake.accounts.groups = {
        {c.adminGroup ? c.adminGroup : L"Administrators", members({L"CORP\\zeta", L"CORP\\alpha"})},
        {L"Staff", members({L"CORP\\b"})}};
    SetMachineString(L"AccessGroup", c.accessGroup);
    fake.shell.boxes.clear();
    CStatusDlg dialog;
    EXPECT_EQ(0, Run(dialog, {99, kIdOk}));
    std::wstring shown;
    for (int id : {IDC_STATUS_ADMINS, IDC_STATUS_GROUP}) {
      for (const std::wstring& entry : Control(id).list) shown += entry + L",";
      shown += L"|";
    }
    const auto& label = Control(IDC_STATUS_GROUP_LABEL);
    EXPECT_EQ(label.visible, Control(IDC_STATUS_GROUP).visible);
    EXPECT_EQ(c.shown, shown + (label.visible ? label.text : L"hidden"));
    EXPECT_EQ(c.boxes, Boxes(fake));
  }
  // The line is kept up to date by its own timer only, and is empty once the time is up.
  SetTimerEndAt(kNow + 125);
  CStatusDlg dialog;
  Names lines;
  EXPECT_EQ(kIdCancel, Run(dialog, {kIdCancel}, [&] {
              for (int64_t step : {0, 5, 120}) {
                fake.clock.now += step;
                EXPECT_TRUE(Send(msg::kTimer, 1) == 0 && Send(msg::kTimer, 2) == 0);
                lines.push_back(Control(IDC_STATUS_LINE).text);
              }
            }));
  EXPECT_EQ((Names{L"125 seconds remain before reverting the previleges",
                   L"120 seconds remain before reverting the previleges", L""}),
            lines);
}

TEST_F(DialogsTest, SettingsShowTheStoredValuesLockWhatUserConfigSaysAndSendThemOnOk) {
  // '1' for each control that is checked (or enabled), '0' for each that is not.
  const auto bits = [&](std::initializer_list<int> ids, bool enabled) {
    std::wstring text;
    for (int id : ids) text += (enabled ? Control(id).enabled : Control(id).checked) ? L'1' : L'0';
    return text;
  };
  const struct {
    const wchar_t* userConfig;
    std::optional<uint32_t> period, identity, atLogin, resuscitate;
    const char* managed;   // a managed document, or null
    const wchar_t* shown;  // period|resuscitate|checked: identities, at login|enabled: at login,
                           // resuscitate and its label
    std::string sent;      // period|identity|resuscitate|at login, as the service reads them
  } cases[] = {
      {L"0", {}, {}, {}, {}, nullptr, L"120|0|1000|111", "120|1|0|0"},
      {L"1", 600, 3, 1, 2, nullptr, L"600|2|0011|000", "600|3|2|1"},
      {L"2", 600, 7, 0, 3, nullptr, L"600|3|0000|100", "600|-|3|0"},
      {L" 1", 600, 2, 1, 1, R"({"access_period_win":"45"})", L"45|1|0101|111", "45|2|1|1"}};
  for (const auto& c : cases) {
    for (const auto& [name, value] : {std::pair{L"AccessPeriod", c.period},
                                      {L"Identity", c.identity},
                                      {L"ElevateAtLogin", c.atLogin},
                                      {L"Resuscitate", c.resuscitate}}) {
      fake.registry.DeleteKeyValue(kMachine, kProduct, name);
      if (value) SetMachine(name, *value);
    }
    ResetManagedSettings();
    SetManagedMode(c.managed != nullptr && ApplyManagedDocument(c.managed));
    CSettingsDlg dialog(c.userConfig);
    std::wstring shown;
    EXPECT_EQ(kIdOk, Run(dialog, {99, kIdOk}, [&] {
                shown = Texts({IDC_SETTINGS_ACCESS_PERIOD, IDC_SETTINGS_RESUSCITATE}) + L"|" +
                        bits({IDC_SETTINGS_USERNAME, IDC_SETTINGS_FULLNAME,
                              IDC_SETTINGS_DOMAIN_USERNAME, IDC_SETTINGS_ELEVATE_AT_LOGIN},
                             false) +
                        L"|" +
                        bits({IDC_SETTINGS_ELEVATE_AT_LOGIN, IDC_SETTINGS_RESUSCITATE,
                              IDC_SETTINGS_RESUSCITATE_LABEL},
                             true);
              }));
    EXPECT_EQ(c.shown, shown);
    channel::SettingsRecordFields sent;
    ASSERT_EQ(channel::RecordStatus::kOk,
              channel::DecodeSettingsRecord(Block().data(), Block().size(), &sent));
    EXPECT_EQ(c.sent, sent.accessPeriod + "|" + (sent.identity ? sent.identity : '-') + "|" +
                          sent.resuscitate + "|" + (sent.elevateAtLogin ? "1" : "0"));
  }
  EXPECT_TRUE(Signaled(channel::kSaveSettingsEventName));
  fake.kernel.named.at(channel::kSaveSettingsEventName)->signaled = false;
  fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 1208);
  CSettingsDlg cancelled(L"0");
  EXPECT_EQ(kIdCancel, Run(cancelled, {kIdCancel}));
  EXPECT_EQ(Bytes(1208, 0), Block());
  fake.kernel.named.erase(kBlock);  // a record that cannot be written is not announced either
  CSettingsDlg unwritten(L"0");
  EXPECT_EQ(kIdOk, Run(unwritten, {kIdOk}));
  EXPECT_FALSE(Signaled(channel::kSaveSettingsEventName));
}

}  // namespace
}  // namespace velmora::test
