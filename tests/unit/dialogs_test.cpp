// The information and settings dialogs, opened as the menu opens them: what each shows from the
// platform and the registry, what its controls do, and what leaves the dialog.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/about_dlg.h"
#include "dialogs/settings_dlg.h"
#include "dialogs/status_dlg.h"
#include "settings/managed_settings.h"
#include "resource.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Item = fakes::FakeDialogHost::Item;
using Names = std::vector<std::wstring>;

class DialogsTest : public TrayTest {
 protected:
  void SetUp() override { SignIn(); }

  // Runs `dialog` modally; `user` plays the user while it is open (the dialog stays open when
  // it does not end it). Answers the dialog's result.
  intptr_t Run(WindowHandler& dialog, const std::function<void(Hwnd)>& user = nullptr) {
    fake.windows.modalScript = [&](Hwnd hwnd) {
      shown = hwnd;
      if (user) user(hwnd);
    };
    return fake.windows.RunModalDialog(0, nullptr, &dialog);
  }
  Item& Control(int id) { return fake.dialogs.item(shown, id); }
  intptr_t Send(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    return fake.windows.Send(shown, message, wParam, lParam);
  }
  void Notify(int id, uint32_t code) {
    NotifyHeader header{nullptr, static_cast<uintptr_t>(id), code};
    Send(msg::kNotify, static_cast<uintptr_t>(id), reinterpret_cast<intptr_t>(&header));
  }

  Hwnd shown = nullptr;
};

// ---- About ---------------------------------------------------------------------------------

TEST_F(DialogsTest, VersionAndServicePathHelpers) {
  fake.shell.productVersions[L"a.exe"] = {0x00090008, 0x00070006};
  fake.shell.productVersions[L"b.exe"] = {0xFFFFFFFF, 0x00000000};
  std::wstring version = L"untouched";
  EXPECT_FALSE(GetFileProductVersion(L"none.exe", &version));
  EXPECT_EQ(L"untouched", version);
  ASSERT_TRUE(GetFileProductVersion(L"a.exe", &version));
  EXPECT_EQ(L"9.8.7.6", version);
  ASSERT_TRUE(GetFileProductVersion(L"b.exe", &version));
  EXPECT_EQ(L"65535.65535.0.0", version);

  fake.files.SetEnvironment(L"ProgramFiles", L"C:\\Program Files");
  const std::pair<std::wstring, std::wstring> paths[] = {
      {L"C:\\Velmora\\svc.exe", L"C:\\Velmora\\svc.exe"},
      {L"\"C:\\Program Files\\Velmora\\svc.exe\"", L"C:\\Program Files\\Velmora\\svc.exe"},
      {L"\"C:\\Program Files\\V\\svc.exe\" -k \"a b\"", L"C:\\Program Files\\V\\svc.exe"},
      {L"  \"C:\\V\\svc.exe", L"C:\\V\\svc.exe"},  // no closing quote
      {L"C:\\Program Files\\V\\svc.EXE -k run", L"C:\\Program Files\\V\\svc.EXE"},
      {L"C:\\my.exec\\svc.exe /x", L"C:\\my.exec\\svc.exe"},
      {L"C:\\V\\svc.bin --flag", L"C:\\V\\svc.bin --flag"},  // no program name to end at
      {L"%ProgramFiles%\\V\\svc.exe -k", L"C:\\Program Files\\V\\svc.exe"},
      {L"\"\"", L""},
      {L"", L""}};
  for (const auto& p : paths) EXPECT_EQ(p.second, ProgramPathOf(p.first)) << p.first;
}

TEST_F(DialogsTest, AboutShowsTheThreeVersionsOrWhyNot) {
  fake.files.modulePath = L"C:\\Velmora\\VelmoraTray.exe";
  const std::wstring kService = L"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe";
  // "" is a text the dialog leaves as the template has it.
  const struct {
    const wchar_t* configured;  // the service's command line; null: not installed
    bool versions;              // the three files carry version information
    std::wstring tray, service, hook;
  } cases[] = {
      {L"\"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe\" -run", true, L"1.2.3.4",
       L"5.6.7.8", L"9.10.11.12"},
      {nullptr, true, L"1.2.3.4", L"not running", L"9.10.11.12"},
      {L"", true, L"1.2.3.4", L"not running", L"9.10.11.12"},
      {L"C:\\Program Files\\Velmora\\VelmoraFrameworkService.exe", false, L"", L"",
       L"Not found"}};
  for (const auto& c : cases) {
    fake.shell.productVersions.clear();
    // Only the library beside the tray counts, never one the search path would find.
    fake.shell.productVersions[L"VelmoraSH64.dll"] = {0x10001, 0x10001};
    if (c.versions) {
      fake.shell.productVersions[L"C:\\Velmora\\VelmoraTray.exe"] = {0x10002, 0x30004};
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
  }
}

TEST_F(DialogsTest, AboutShowsTheLicenceOnWhiteAndOpensLinksOnlyWhenClicked) {
  StartLog();
  const std::string licence = "Licence\r\n\r\nline two\r\n";
  fake.shell.resources[{L"LIC", IDR_LICENSE}] = licence;
  const int icons = fake.windows.liveIcons;
  CAboutDlg dialog;
  int drawing = 0;
  const Gdi::Dc dc = &drawing;
  intptr_t white = 0;
  intptr_t other = 0;
  std::vector<std::wstring> openedBeforeClicks;
  const intptr_t result = Run(dialog, [&](Hwnd) {
    white = Send(msg::kCtlColorStatic, reinterpret_cast<uintptr_t>(dc), IDC_ABOUT_LICENSE);
    other = Send(msg::kCtlColorStatic, reinterpret_cast<uintptr_t>(dc), IDC_ABOUT_PRODUCT);
    Notify(IDC_ABOUT_SOCIAL_LINK, 0xFFFFFFF0u);
    openedBeforeClicks = fake.shell.opened;
    Notify(IDC_ABOUT_SOCIAL_LINK, kNmClick);
    Notify(IDC_ABOUT_WEB_LINK, kNmClick);
    Send(msg::kCommand, kIdCancel);
  });
  EXPECT_EQ(kIdCancel, result);
  EXPECT_EQ(L"Licence\r\n\r\nline two\r\n", Control(IDC_ABOUT_LICENSE).text);
  EXPECT_EQ(reinterpret_cast<intptr_t>(fake.gdi.StockWhiteBrush()), white);
  EXPECT_EQ((std::pair<uint32_t, uint32_t>(0x000000, 0xFFFFFF)), fake.gdi.colors[dc]);
  EXPECT_EQ(0, other);
  EXPECT_TRUE(openedBeforeClicks.empty());
  EXPECT_EQ((std::vector<std::wstring>{kMakerSocialPage, kMakerWebPage}), fake.shell.opened);
  EXPECT_EQ(icons, fake.windows.liveIcons);
  EXPECT_EQ(std::vector<std::string>{"Showing About box"}, LogMessages());

  // Without the resource the box stays empty; OK ends with 1.
  fake.shell.resources.clear();
  CAboutDlg plain;
  EXPECT_EQ(kIdOk, Run(plain, [&](Hwnd) { Send(msg::kCommand, kIdOk); }));
  EXPECT_EQ(L"", Control(IDC_ABOUT_LICENSE).text);
}

// ---- Status --------------------------------------------------------------------------------

TEST_F(DialogsTest, StatusListsBothGroupsAndSaysWhatCouldNotBeRead) {
  const std::wstring longName = L"CORP\\" + std::wstring(251, L'n');  // 256 characters
  const struct {
    std::optional<std::wstring> adminGroup;  // nullopt: the name cannot be found
    std::optional<Names> admins;             // nullopt: the query fails
    std::wstring accessGroup;
    std::optional<Names> staff;
    Names shownAdmins, shownGroup;
    std::wstring boxes;  // text of each error box, owned by the dialog, one after the other
  } cases[] = {
      {L"Administrators", Names{L"CORP\\zeta", L"CORP\\alpha"}, L"", Names{L"x"},
       {L"CORP\\zeta", L"CORP\\alpha"}, {}, L""},
      {L"Administratoren", Names{}, L"Staff", Names{longName, L"CORP\\b"}, {}, {longName, L"CORP\\b"},
       L""},
      {L"Administrators", Names{L"CORP\\a"}, L"Staff", std::nullopt, {L"CORP\\a"}, {},
       L"Error obtaining list of members of group Staff"},
      {std::nullopt, Names{L"CORP\\a"}, L"Staff", Names{L"CORP\\s"}, {}, {L"CORP\\s"},
       L"Error retrieving default administrators group name"},
      {L"Administrators", std::nullopt, L"Staff", std::nullopt, {}, {},
       L"Error obtaining list of members of group Administrators|"
       L"Error obtaining list of members of group Staff"}};
  for (const auto& c : cases) {
    fake.accounts.groupName = c.adminGroup;
    fake.accounts.groups = {{c.adminGroup.value_or(L"Administrators"), c.admins},
                            {L"Staff", c.staff}};
    if (c.accessGroup.empty()) {
      fake.registry.DeleteKeyValue(kMachine, kProduct, L"AccessGroup");
    } else {
      SetMachineString(L"AccessGroup", c.accessGroup);
    }
    fake.shell.boxes.clear();
    CStatusDlg dialog;
    Run(dialog);
    EXPECT_EQ(c.shownAdmins, Control(IDC_STATUS_ADMINS).list) << c.boxes;
    EXPECT_EQ(c.shownGroup, Control(IDC_STATUS_GROUP).list) << c.boxes;
    const bool hasGroup = !c.accessGroup.empty();
    EXPECT_EQ(hasGroup, Control(IDC_STATUS_GROUP).visible);
    EXPECT_EQ(hasGroup, Control(IDC_STATUS_GROUP_LABEL).visible);
    EXPECT_EQ(hasGroup ? c.accessGroup + L" members" : L"", Control(IDC_STATUS_GROUP_LABEL).text);
    std::wstring boxes;
    for (const auto& box : fake.shell.boxes) {
      EXPECT_EQ(shown, box.owner);
      EXPECT_EQ(L"Error", box.caption);
      EXPECT_EQ(win::kMbOk | win::kMbIconError, box.type);
      boxes += (boxes.empty() ? L"" : L"|") + box.text;
    }
    EXPECT_EQ(c.boxes, boxes);
  }
}

TEST_F(DialogsTest, StatusCountsDownTheRunningElevationAndClosesEitherWay) {
  SetTimerEndAt(kNow + 125);
  CStatusDlg dialog;
  std::vector<std::wstring> lines;
  const intptr_t result = Run(dialog, [&](Hwnd) {
    lines.push_back(Control(IDC_STATUS_LINE).text);
    fake.clock.now += 5;
    Send(msg::kTimer, 1);
    lines.push_back(Control(IDC_STATUS_LINE).text);
    fake.clock.now += 120;
    Send(msg::kTimer, 1);
    lines.push_back(Control(IDC_STATUS_LINE).text);
    Send(msg::kCommand, kIdOk);
  });
  EXPECT_EQ(0, result);
  EXPECT_EQ((Names{L"125 seconds remain before reverting the previleges",
                   L"120 seconds remain before reverting the previleges", L""}),
            lines);
  CStatusDlg cancelled;
  EXPECT_EQ(kIdCancel, Run(cancelled, [&](Hwnd) { Send(msg::kCommand, kIdCancel); }));
  EXPECT_EQ(L"", Control(IDC_STATUS_LINE).text);
}

// ---- Settings ------------------------------------------------------------------------------

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
      {L"", 600, 2, 1, 1, R"({"access_period_win":"45"})", L"45", IDC_SETTINGS_FULLNAME, true,
       L"1", true, true},
      {L" 1", {}, 0, 2, {}, nullptr, L"120", 0, false, L"0", true, true}};
  for (const auto& c : cases) {
    for (const auto& [name, value] : {std::pair{L"AccessPeriod", c.period},
                                      {L"Identity", c.identity},
                                      {L"ElevateAtLogin", c.atLogin},
                                      {L"Resuscitate", c.resuscitate}}) {
      fake.registry.DeleteKeyValue(kMachine, kProduct, name);
      if (value) SetMachine(name, *value);
    }
    ResetManagedSettings();
    if (c.managed) {
      ASSERT_TRUE(ApplyManagedDocument(c.managed));
      SetManagedMode(true);
    }
    CSettingsDlg dialog(c.userConfig);
    Run(dialog);
    EXPECT_EQ(c.shownPeriod, Control(IDC_SETTINGS_ACCESS_PERIOD).text) << c.userConfig;
    for (int radio : kIdentityRadios) {
      EXPECT_EQ(radio == c.checkedRadio, Control(radio).checked) << c.userConfig << radio;
      EXPECT_TRUE(Control(radio).enabled);
    }
    EXPECT_EQ(c.atLoginChecked, Control(IDC_SETTINGS_ELEVATE_AT_LOGIN).checked) << c.userConfig;
    EXPECT_EQ(c.shownResuscitate, Control(IDC_SETTINGS_RESUSCITATE).text) << c.userConfig;
    EXPECT_TRUE(Control(IDC_SETTINGS_ACCESS_PERIOD).enabled);
    EXPECT_EQ(c.atLoginEnabled, Control(IDC_SETTINGS_ELEVATE_AT_LOGIN).enabled) << c.userConfig;
    EXPECT_EQ(c.resuscitateEnabled, Control(IDC_SETTINGS_RESUSCITATE).enabled) << c.userConfig;
    EXPECT_EQ(c.resuscitateEnabled, Control(IDC_SETTINGS_RESUSCITATE_LABEL).enabled);
  }
}

TEST_F(DialogsTest, SettingsOkSendsWhatTheControlsHoldAndCancelSendsNothing) {
  EventParams save;
  save.name = channel::kSaveSettingsEventName;
  const Handle held = fake.kernel.CreateOrOpenEvent(save);  // the service's, so a signal stays
  const struct {
    std::wstring period;
    int radio;  // 0: none checked
    bool atLogin;
    std::wstring resuscitate;
    std::string sentPeriod;
    char sentIdentity, sentResuscitate;
    std::wstring identity;
  } cases[] = {
      {L"abc", IDC_SETTINGS_FULLNAME, false, L"12", "abc", '2', '1', L"2"},
      {std::wstring(30, L'9'), IDC_SETTINGS_DOMAIN_USERNAME, true, L"3", "300", '3', '3', L"3"},
      {std::wstring(19, L'9'), IDC_SETTINGS_USERNAME, false, L"", std::string(19, '9'), '1', '0',
       L"1"},
      // No choice stays no choice; a character above U+00FF stays no digit.
      {L"900", 0, false, L"\u0131", "900", 0, '?', L""}};
  for (const auto& c : cases) {
    CSettingsDlg dialog(L"1");  // locked controls are sent as they are
    const intptr_t result = Run(dialog, [&](Hwnd) {
      Control(IDC_SETTINGS_ACCESS_PERIOD).text = c.period;
      for (int radio : kIdentityRadios) Control(radio).checked = radio == c.radio;
      Control(IDC_SETTINGS_ELEVATE_AT_LOGIN).checked = c.atLogin;
      Control(IDC_SETTINGS_RESUSCITATE).text = c.resuscitate;
      Send(msg::kCommand, kIdOk);
    });
    EXPECT_EQ(kIdOk, result);
    EXPECT_EQ(c.identity, dialog.identity());
    const std::vector<uint8_t> block = fake.kernel.MappingBytes(channel::kSharedBlockName);
    channel::SettingsRecordFields sent;
    ASSERT_EQ(channel::RecordStatus::kOk,
              channel::DecodeSettingsRecord(block.data(), block.size(), &sent));
    EXPECT_EQ(c.sentPeriod, sent.accessPeriod);
    EXPECT_EQ(c.sentIdentity, sent.identity);
    EXPECT_EQ(c.sentResuscitate, sent.resuscitate);
    EXPECT_EQ(c.atLogin, sent.elevateAtLogin);
    EXPECT_TRUE(fake.kernel.IsSignaled(channel::kSaveSettingsEventName));
    fake.kernel.ResetEvent(held);
  }
  CSettingsDlg cancelled(L"0");
  const std::vector<uint8_t> before = fake.kernel.MappingBytes(channel::kSharedBlockName);
  EXPECT_EQ(kIdCancel, Run(cancelled, [&](Hwnd) {
              Control(IDC_SETTINGS_ACCESS_PERIOD).text = L"5";
              Send(msg::kCommand, kIdCancel);
            }));
  EXPECT_EQ(before, fake.kernel.MappingBytes(channel::kSharedBlockName));
  EXPECT_FALSE(fake.kernel.IsSignaled(channel::kSaveSettingsEventName));
  fake.kernel.CloseHandle(held);
}

}  // namespace
}  // namespace velmora::test
