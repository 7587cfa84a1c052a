#include "app/tray_app.h"

#include <clocale>

#include "app/main_dlg.h"
#include "app/message_loop.h"
#include "elevation/channel.h"
#include "elevation/shell_hook.h"
#include "identity/ad_connector.h"
#include "localization/localized_texts.h"
#include "log/log.h"
#include "platform/owned.h"
#include "settings/managed_settings.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

constexpr wchar_t kInstanceMutexName[] = L"_MUT_48940814_7";
constexpr uint32_t kIccBarClasses = 0x4;
constexpr uint32_t kLocaleEnglishUs = 0x409;

// Steps 2 and 3 of start-up: logging from the machine value, then, in managed mode, again from
// whatever the managed document says.
void SwitchOnLogging() {
  std::wstring verbose;
  ReadMachineNumberText(L"VerboseLogging", verbose);
  ClearLogFilePath();
  if (verbose != L"0" && SetDefaultLogFilePath()) Log("Tray app init");

  SetManagedMode(false);
  std::wstring managed;
  if (ReadMachineNumberText(L"Managed", managed) && managed == L"1") {
    LoadManagedSettings(true);
    GetSetting(L"VerboseLogging", verbose, SettingKind::kNumber);
    ClearLogFilePath();
    if (verbose != L"0" && SetDefaultLogFilePath()) Log("Tray app init");
  }
}

}  // namespace

bool InitInstance() {
  CreateLogLock();
  SwitchOnLogging();

  std::wstring disable;
  const bool found = GetSetting(L"DisableManualElevation", disable, SettingKind::kNumber,
                                L"PreApproved");
  Store(g_bManualElevationDisabled, found && disable == L"1" ? 1 : 0);

  Kern().SetThreadLocale(kLocaleEnglishUs);
  Kern().SetThreadUILanguage(static_cast<uint16_t>(kLocaleEnglishUs));

  if (!CreateChannelEvents()) {
    ShellUi().ShowMessageBox(nullptr, L"Event objects cannot be created", L"Error",
                        win::kMbIconError);
    return false;
  }

  const std::wstring languageFile = SelectLanguage();
  LoadBuiltInTexts();
  LoadLanguageFile(languageFile);

  Store(g_bADUserGroupValid, 1);
  Store(g_bADUserValid, 1);
  StartADConnector();

  const bool hookAllowed = !IsShellHookDisabled();
  AllowShellHook(hookAllowed);
  if (hookAllowed) SetHook();
  return true;
}

int Run() {
  CMessageLoop loop;
  AppModule().AddMessageLoop(&loop);
  int exitCode = 0;
  {
    CMainDlg dialog;
    if (Hwnd hwnd = dialog.Create()) {
      exitCode = loop.Run();
      // The window must not outlive the object behind its message map.
      Windows().DestroyWindow(hwnd);
    }
  }
  AppModule().RemoveMessageLoop();
  return exitCode;
}

void CleanupInstance() {
  if (IsHookInstalled()) RemoveHook();
  DestroyLogLock();
  CloseChannelEvents();
}

int TrayMain() {
  std::setlocale(LC_ALL, "");
  Kern().InitializeCom();

  // Case-sensitive search over the whole line, program path included.
  if (Kern().CommandLine().find(L"/elevate") != std::wstring::npos) return 0;

  const OwnedHandle mutex(Kern().CreateNamedMutex(kInstanceMutexName, true));
  const uint32_t error = Kern().LastError();
  if (!mutex || error == win::kErrorAlreadyExists) {
    ShellUi().ShowMessageBox(nullptr, L"Velmora Tray is already running", L"Warning",
                        win::kMbIconWarning | win::kMbOk);
    return 0;
  }

  Windows().InitCommonControls(kIccBarClasses);
  AppModule().Init();

  int exitCode = kExitInitFailed;
  if (InitInstance()) {
    exitCode = Run();
    CleanupInstance();
  }

  AppModule().Term();
  Kern().UninitializeCom();
  Kern().ReleaseNamedMutex(mutex.get());
  return exitCode;
}

}  // namespace velmora
