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
    WhenShown(buttons, during);
    return fake.windows.RunModalDialog(0, nullptr, &dialog);
  }
  // What the controls show, "|" after each: a list's entries with "," after each, then the text.
  std::wstring Shown(std::initializer_list<int> ids) {
    std::wstring shown;
    for (int id : ids) shown += Control(id).list + Control(id).text + L"|";
    return shown;
  }
};

TEST_F(DialogsTest, ServiceProgramIsTheCommandLinesFirstProgramName) {
  fake.files.SetEnvironment(L"ProgramFiles", L"C:\\Program Files");
  const std::pair<std::wstring, std::wstring> paths[] = {
      {L"\"C:\\Program Files\\V\\svc.exe\" -k \"a b\"", L"C:\\Program Files\\V\\svc.exe"},
      {L"  \"C:\\V\\svc.exe", L"C:\\V\\svc.exe"},  // no closing quote
      {L"C:\\Program Files\\my.exec\\svc.EXE /x", L"C:\\Program Files\\my.exec\\svc.EXE"},
      {L"C:\\V\\svc.bin --flag ", L"C:\\V\\svc.bin --flag"},  // no program name to end at
      {L"%ProgramFiles%\\V\\svc.exe -k", L"C:\\Program Files\\V\\svc.exe"},
      {L"", L""}};
  for (const auto& [line, path] : paths) EXPECT_EQ(path, ProgramPathOf(line)) << line;
}

TEST_F(DialogsTest, AboutShowsTheThreeVersionsTheLicenceAndOpensLinksOnlyWhenClicked) {
  fake.files.modulePath = L"C:\\Velmora\\VelmoraTray.exe";
  const wchar_t kService[] = L"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe";
  // Only the library beside the tray counts, never one the search path would find.
  fake.shell.productVersions = {{L"VelmoraSH64.dll", {1, 1}}};
  // The service's command line (null: not installed); tray, service, library version, licence.
  const std::pair<std::optional<std::wstring>, const wchar_t*> cases[] = {
      {kService, L"||Not found||"},  // no file carries version information yet, no licence
      {std::nullopt, L"1.2.3.65535|not running|9.10.11.12|Licence|"},
      {L"\"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe\" -run",
       L"1.2.3.65535|5.6.7.8|9.10.11.12|Licence|"}};
  for (const auto& [command, texts] : cases) {
    fake.services.binaryPaths[L"VelmoraFrameworkService"] = command;
    CAboutDlg dialog;
    EXPECT_EQ(kIdOk, Run(dialog, {99, kIdOk}));
    EXPECT_EQ(texts, Shown({IDC_ABOUT_TRAY_VERSION, IDC_ABOUT_SERVICE_VERSION,
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
              Notify(IDC_ABOUT_SOCIAL_LINK, kNmClick);
              Notify(IDC_ABOUT_WEB_LINK, kNmClick);
            }));
  // Only the clicks on the two links opened anything.
  EXPECT_EQ((Names{kMakerSocialPage, kMakerWebPage}), fake.shell.opened);
  EXPECT_EQ(icons, fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon));
}

TEST_F(DialogsTest, StatusListsBothGroupsCountsDownAndSaysWhatCouldNotBeRead) {
  fake.accounts.groupName = L"Administratoren";
  fake.accounts.groups = {{L"Administratoren", Names{L"CORP\\zeta", L"CORP\\alpha"}},
                          {L"Staff", Names{L"CORP\\b"}}};
  // Whether the administrators' group has a name; the access group (none when empty); both
  // lists and the access group's label; the boxes.
  const std::tuple<bool, const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {true, L"", L"CORP\\zeta,CORP\\alpha,|||", L""},
      {true, L"Staff", L"CORP\\zeta,CORP\\alpha,|CORP\\b,|Staff members|", L""},
      {false, L"Nobody", L"||Nobody members|",
       L"(owned) Error: Error retrieving default administrators group name (16)"
       L"(owned) Error: Error obtaining list of members of group Nobody (16)"}};
  for (const auto& [named, group, lists, boxes] : cases) {
    if (!named) fake.accounts.groupName.reset();
    SetMachineString(L"AccessGroup", group);
    CStatusDlg dialog;
    EXPECT_EQ(0, Run(dialog, {99, kIdOk}));
    EXPECT_EQ(lists, Shown({IDC_STATUS_ADMINS, IDC_STATUS_GROUP, IDC_STATUS_GROUP_LABEL}));
    const int visible = Control(IDC_STATUS_GROUP).visible + Control(IDC_STATUS_GROUP_LABEL).visible;
    EXPECT_EQ(*group != L'\0' ? 2 : 0, visible);
    EXPECT_EQ(boxes, fake.shell.boxes);
  }
  // The line is kept up to date by its own timer only, and is empty once the time is up.
  SetTimerEndAt(kNow + 125);
  CStatusDlg dialog;
  EXPECT_EQ(kIdCancel, Run(dialog, {kIdCancel}, [&] {
              fake.clock.now += 125;
              Send(msg::kTimer, 2);
              EXPECT_EQ(L"125 seconds remain before reverting the previleges",
                        Control(IDC_STATUS_LINE).text);
              Send(msg::kTimer, 1);
              EXPECT_EQ(L"", Control(IDC_STATUS_LINE).text);
            }));
}

TEST_F(DialogsTest, SettingsShowTheStoredValuesLockWhatUserConfigSaysAndSendThemOnOk) {
  const wchar_t* const names[] = {L"AccessPeriod", L"Identity", L"ElevateAtLogin", L"Resuscitate"};
  // UserConfig; the values stored, as `names` lists them; a managed document, or null; what the
  // service reads (period|identity|resuscitate|at login) and which of at login, resuscitate and
  // its label are enabled.
  const std::tuple<const wchar_t*, std::vector<uint32_t>, const char*, std::string> cases[] = {
      {L"0", {}, nullptr, "120|1|0|0|111"},
      {L"1", {600, 3, 1, 2}, nullptr, "600|3|2|1|000"},
      {L"2", {600, 7, 0, 3}, nullptr, "600|-|3|0|100"},
      {L" 1", {600, 2, 1, 1}, R"({"access_period_win":"45"})", "45|2|1|1|111"}};
  const int locks[] = {IDC_SETTINGS_ELEVATE_AT_LOGIN, IDC_SETTINGS_RESUSCITATE,
                       IDC_SETTINGS_RESUSCITATE_LABEL};
  for (const auto& [userConfig, stored, managed, expected] : cases) {
    for (size_t i = 0; i < stored.size(); ++i) SetMachine(names[i], stored[i]);
    SetManagedMode(managed != nullptr && ApplyManagedDocument(managed));
    CSettingsDlg dialog(userConfig);
    EXPECT_EQ(kIdOk, Run(dialog, {99, kIdOk}));
    channel::SettingsRecordFields sent;
    channel::DecodeSettingsRecord(Block().data(), Block().size(), &sent);
    std::string got = sent.accessPeriod + "|" + (sent.identity ? sent.identity : '-') + "|" +
                      sent.resuscitate + "|" + (sent.elevateAtLogin ? "1|" : "0|");
    for (int id : locks) got += Control(id).enabled ? '1' : '0';
    EXPECT_EQ(expected, got);
  }
  EXPECT_TRUE(fake.kernel.Signaled(channel::kSaveSettingsEventName));
  fake.kernel.named.at(channel::kSaveSettingsEventName)->signaled = false;
  fake.kernel.named.erase(kBlock);  // a record that cannot be written is not announced either
  CSettingsDlg unwritten(L"0");
  EXPECT_EQ(kIdOk, Run(unwritten, {kIdOk}));
  EXPECT_FALSE(fake.kernel.Signaled(channel::kSaveSettingsEventName));
}

}  // namespace
}  // namespace velmora::test
