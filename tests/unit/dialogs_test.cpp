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
  // Runs `dialog` modally; `user` plays the user while it is open. Answers its result.
  intptr_t Run(WindowHandler& dialog, const std::function<void()>& user = nullptr) {
    fake.windows.modalScript = [&](Hwnd hwnd) {
      shown = hwnd;
      if (user) user();
    };
    return fake.windows.RunModalDialog(0, nullptr, &dialog);
  }
  fakes::FakeWindows::Item& Control(int id) { return fake.windows.item(shown, id); }
  intptr_t Send(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    return fake.windows.Send(shown, message, wParam, lParam);
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
      {L"\"\"", L""}};
  for (const auto& [line, path] : paths) EXPECT_EQ(path, ProgramPathOf(line)) << line;
}

TEST_F(DialogsTest, AboutShowsTheThreeVersionsTheLicenceAndOpensLinksOnlyWhenClicked) {
  fake.files.modulePath = L"C:\\Velmora\\VelmoraTray.exe";
  fake.shell.resources[{L"LIC", IDR_LICENSE}] = "Licence\r\n";
  const wchar_t kService[] = L"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe";
  const struct {
    const wchar_t* configured;  // the service's command line; null: not installed
    bool versions;              // the three files carry version information
    std::wstring tray, service, hook;
  } cases[] = {{L"\"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe\" -run", true,
                L"1.2.3.65535", L"5.6.7.8", L"9.10.11.12"},
               {nullptr, true, L"1.2.3.65535", L"not running", L"9.10.11.12"},
               {kService, false, L"", L"", L"Not found"}};
  for (const auto& c : cases) {
    fake.shell.productVersions.clear();
    // Only the library beside the tray counts, never one the search path would find.
    fake.shell.productVersions[L"VelmoraSH64.dll"] = {0x10001, 0x10001};
    if (c.versions) {
      fake.shell.productVersions[fake.files.modulePath] = {0x10002, 0x3FFFF};
      fake.shell.productVersions[kService] = {0x50006, 0x70008};
      fake.shell.productVersions[L"C:\\Velmora\\VelmoraSH64.dll"] = {0x9000A, 0xB000C};
    }
    fake.services.binaryPaths.clear();
    if (c.configured) fake.services.binaryPaths[L"VelmoraFrameworkService"] = c.configured;
    CAboutDlg dialog;
    Run(dialog);
    EXPECT_EQ(c.tray, Control(IDC_ABOUT_TRAY_VERSION).text);
    EXPECT_EQ(c.service, Control(IDC_ABOUT_SERVICE_VERSION).text);
    EXPECT_EQ(c.hook, Control(IDC_ABOUT_SHELL_VERSION).text);
    EXPECT_EQ(L"Licence\r\n", Control(IDC_ABOUT_LICENSE).text);
  }
  const int icons = fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon);
  CAboutDlg dialog;
  intptr_t white = 0, other = 0;
  Names openedBeforeClicks;
  EXPECT_EQ(kIdCancel, Run(dialog, [&] {
              white = Send(msg::kCtlColorStatic, 0, IDC_ABOUT_LICENSE);
              other = Send(msg::kCtlColorStatic, 0, IDC_ABOUT_PRODUCT);
              for (const auto& [id, code] : {std::pair{IDC_ABOUT_SOCIAL_LINK, 0xFFFFFFF0u},
                                             {IDC_ABOUT_PRODUCT, kNmClick},
                                             {IDC_ABOUT_SOCIAL_LINK, kNmClick},
                                             {IDC_ABOUT_WEB_LINK, kNmClick}}) {
                if (code == kNmClick && id != IDC_ABOUT_PRODUCT)
                  openedBeforeClicks = fake.shell.opened;
                NotifyHeader header{nullptr, static_cast<uintptr_t>(id), code};
                Send(msg::kNotify, id, reinterpret_cast<intptr_t>(&header));
              }
              Send(msg::kCommand, 99);
              Send(msg::kCommand, kIdCancel);
            }));
  EXPECT_EQ(reinterpret_cast<intptr_t>(fake.gdi.StockWhiteBrush()), white);
  EXPECT_EQ(0, other);
  EXPECT_EQ((Names{kMakerSocialPage, kMakerWebPage}), fake.shell.opened);
  EXPECT_EQ(icons, fake.gdi.Alive(fakes::FakeGdi::Kind::kIcon));
  fake.shell.resources.clear();
  CAboutDlg plain;
  EXPECT_EQ(kIdOk, Run(plain, [&] { Send(msg::kCommand, kIdOk); }));
  EXPECT_EQ(L"", Control(IDC_ABOUT_LICENSE).text);
}

TEST_F(DialogsTest, StatusListsBothGroupsAndSaysWhatCouldNotBeRead) {
  const struct {
    std::optional<std::wstring> adminGroup;  // nullopt: the name cannot be found
    std::optional<Names> admins;             // nullopt: the query fails
    std::wstring accessGroup;
    std::optional<Names> staff;
    Names shownAdmins, shownGroup;
    std::wstring boxes;
  } cases[] = {{L"Administrators",
                Names{L"CORP\\zeta", L"CORP\\alpha"},
                L"",
                Names{L"x"},
                {L"CORP\\zeta", L"CORP\\alpha"},
                {},
                L""},
               {L"Administratoren", Names{}, L"Staff", Names{L"CORP\\b"}, {}, {L"CORP\\b"}, L""},
               {std::nullopt,
                Names{L"CORP\\a"},
                L"Staff",
                std::nullopt,
                {},
                {},
                L"(owned) Error: Error retrieving default administrators group name (16)"
                L"(owned) Error: Error obtaining list of members of group Staff (16)"},
               {L"Administrators",
                std::nullopt,
                L"",
                std::nullopt,
                {},
                {},
                L"(owned) Error: Error obtaining list of members of group Administrators (16)"}};
  for (const auto& c : cases) {
    fake.accounts.groupName = c.adminGroup;
    fake.accounts.groups = {{c.adminGroup.value_or(L"Administrators"), c.admins},
                            {L"Staff", c.staff}};
    fake.registry.DeleteKeyValue(kMachine, kProduct, L"AccessGroup");
    if (!c.accessGroup.empty()) SetMachineString(L"AccessGroup", c.accessGroup);
    fake.shell.boxes.clear();
    CStatusDlg dialog;
    Run(dialog);
    EXPECT_EQ(c.shownAdmins, Control(IDC_STATUS_ADMINS).list) << c.boxes;
    EXPECT_EQ(c.shownGroup, Control(IDC_STATUS_GROUP).list) << c.boxes;
    EXPECT_EQ(!c.accessGroup.empty(), Control(IDC_STATUS_GROUP).visible);
    EXPECT_EQ(!c.accessGroup.empty(), Control(IDC_STATUS_GROUP_LABEL).visible);
    EXPECT_EQ(c.accessGroup.empty() ? L"" : c.accessGroup + L" members",
              Control(IDC_STATUS_GROUP_LABEL).text);
    EXPECT_EQ(c.boxes, Boxes(fake));
  }
}

TEST_F(DialogsTest, StatusCountsDownTheRunningElevationAndClosesEitherWay) {
  SetTimerEndAt(kNow + 125);
  CStatusDlg dialog;
  Names lines;
  EXPECT_EQ(0, Run(dialog, [&] {
              for (int64_t step : {0, 5, 120}) {
                fake.clock.now += step;
                EXPECT_TRUE(Send(msg::kTimer, 1) == 0 && Send(msg::kTimer, 2) == 0);
                lines.push_back(Control(IDC_STATUS_LINE).text);
              }
              Send(msg::kCommand, 99);
              Send(msg::kCommand, kIdOk);
            }));
  EXPECT_EQ((Names{L"125 seconds remain before reverting the previleges",
                   L"120 seconds remain before reverting the previleges", L""}),
            lines);
  CStatusDlg cancelled;
  EXPECT_EQ(kIdCancel, Run(cancelled, [&] { Send(msg::kCommand, kIdCancel); }));
}

constexpr int kIdentityRadios[] = {IDC_SETTINGS_USERNAME, IDC_SETTINGS_FULLNAME,
                                   IDC_SETTINGS_DOMAIN_USERNAME};

TEST_F(DialogsTest, SettingsShowsTheStoredValuesAndLocksWhatUserConfigSays) {
  const struct {
    std::wstring userConfig;
    std::optional<uint32_t> period, identity, atLogin, resuscitate;
    const char* managed;  // a managed document, or null
    std::wstring shownPeriod;
    int checkedRadio;  // 0: none
    bool atLoginChecked;
    std::wstring shownResuscitate;
    bool atLoginEnabled, resuscitateEnabled;
  } cases[] = {
      {L"0", {}, {}, {}, {}, nullptr, L"120", IDC_SETTINGS_USERNAME, false, L"0", true, true},
      {L"1", 600, 3, 1, 2, nullptr, L"600", IDC_SETTINGS_DOMAIN_USERNAME, true, L"2", false, false},
      {L"2", 600, 7, 0, 3, nullptr, L"600", 0, false, L"3", true, false},
      {L" 1", 600, 2, 1, 1, R"({"access_period_win":"45"})", L"45", IDC_SETTINGS_FULLNAME, true,
       L"1", true, true}};
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
    Run(dialog);
    EXPECT_EQ(c.shownPeriod, Control(IDC_SETTINGS_ACCESS_PERIOD).text) << c.userConfig;
    for (int radio : kIdentityRadios) {
      EXPECT_EQ(radio == c.checkedRadio, Control(radio).checked) << c.userConfig << radio;
    }
    EXPECT_EQ(c.atLoginChecked, Control(IDC_SETTINGS_ELEVATE_AT_LOGIN).checked) << c.userConfig;
    EXPECT_EQ(c.shownResuscitate, Control(IDC_SETTINGS_RESUSCITATE).text) << c.userConfig;
    EXPECT_EQ(c.atLoginEnabled, Control(IDC_SETTINGS_ELEVATE_AT_LOGIN).enabled) << c.userConfig;
    EXPECT_EQ(c.resuscitateEnabled, Control(IDC_SETTINGS_RESUSCITATE).enabled) << c.userConfig;
    EXPECT_EQ(c.resuscitateEnabled, Control(IDC_SETTINGS_RESUSCITATE_LABEL).enabled);
  }
}

TEST_F(DialogsTest, SettingsOkSendsWhatTheControlsHoldAndCancelSendsNothing) {
  const std::wstring kSave = channel::kSaveSettingsEventName;
  CSettingsDlg dialog(L"1");  // locked controls are sent as they are
  EXPECT_EQ(kIdOk, Run(dialog, [&] {
              Control(IDC_SETTINGS_ACCESS_PERIOD).text = L"abc";
              for (int radio : kIdentityRadios) Control(radio).checked = false;
              Control(IDC_SETTINGS_ELEVATE_AT_LOGIN).checked = true;
              Control(IDC_SETTINGS_RESUSCITATE).text = L"21";
              Send(msg::kCommand, 99);
              Send(msg::kCommand, kIdOk);
            }));
  EXPECT_EQ(L"", dialog.identity());  // no choice stays no choice
  channel::SettingsRecordFields sent;
  ASSERT_EQ(channel::RecordStatus::kOk,
            channel::DecodeSettingsRecord(Block().data(), Block().size(), &sent));
  EXPECT_EQ("abc", sent.accessPeriod);
  EXPECT_EQ(0, sent.identity);
  EXPECT_EQ('2', sent.resuscitate);
  EXPECT_TRUE(sent.elevateAtLogin);
  EXPECT_TRUE(Signaled(kSave));

  fake.kernel.ResetEvent(fake.kernel.CreateOrOpenEvent(EventParams{kSave}));
  const Bytes before = Block();
  CSettingsDlg cancelled(L"0");
  EXPECT_EQ(kIdCancel, Run(cancelled, [&] {
              Control(IDC_SETTINGS_FULLNAME).checked = true;
              Send(msg::kCommand, kIdCancel);
            }));
  EXPECT_EQ(before, Block());
  EXPECT_FALSE(Signaled(kSave));
}

}  // namespace
}  // namespace velmora::test
