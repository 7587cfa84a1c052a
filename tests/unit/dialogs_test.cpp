// The information and settings dialogs, opened as the menu opens them: what each shows from the
// platform and the registry, what its controls do, and what leaves the dialog.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dialogs/about_dlg.h"
#include "resource.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Item = fakes::FakeDialogHost::Item;

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

}  // namespace
}  // namespace velmora::test
