// Program entry of the tray: installs the real platform and hands over to the logic.
#include <windows.h>

#include "platform/platform.h"
#include "platform/program_entry.h"
#include "platform/win32/no_destructor.h"
#include "platform/win32/safe_dll_search.h"
#include "platform/win32/win32_accounts.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_code_page.h"
#include "platform/win32/win32_dialog_host.h"
#include "platform/win32/win32_directory.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_gdi.h"
#include "platform/win32/win32_kernel.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_service_control.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_window_system.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  velmora::RestrictDllSearch();
  static velmora::NoDestructor<velmora::Win32Registry> registry;
  static velmora::NoDestructor<velmora::Win32Kernel> kernel;
  static velmora::NoDestructor<velmora::Win32Clock> clock;
  static velmora::NoDestructor<velmora::Win32Files> files;
  static velmora::NoDestructor<velmora::Win32CodePage> codePage;
  static velmora::NoDestructor<velmora::Win32Shell> shell(instance);
  static velmora::NoDestructor<velmora::Win32WindowSystem> windows(instance);
  static velmora::NoDestructor<velmora::Win32Accounts> accounts;
  static velmora::NoDestructor<velmora::Win32ServiceControl> services;
  static velmora::NoDestructor<velmora::Win32DialogHost> dialogs;
  static velmora::NoDestructor<velmora::Win32Gdi> gdi;
  static velmora::NoDestructor<velmora::Win32Directory> directory;

  velmora::Platform platform;
  platform.registry = registry.get();
  platform.kernel = kernel.get();
  platform.clock = clock.get();
  platform.files = files.get();
  platform.codePage = codePage.get();
  platform.shell = shell.get();
  platform.windows = windows.get();
  platform.accounts = accounts.get();
  platform.services = services.get();
  platform.dialogs = dialogs.get();
  platform.gdi = gdi.get();
  platform.directory = directory.get();
  velmora::InstallPlatform(platform);

  return velmora::TrayMain();
}
