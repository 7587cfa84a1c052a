// Every fake of the seam in one bundle, installed for the life of a test, with the
// process-wide state of the program put back to that of a fresh process.
#pragma once

#include <map>
#include <string>

#include "fakes/fake_accounts.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_code_page.h"
#include "fakes/fake_dialog_host.h"
#include "fakes/fake_directory.h"
#include "fakes/fake_files.h"
#include "fakes/fake_gdi.h"
#include "fakes/fake_kernel.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_service_control.h"
#include "fakes/fake_shell.h"
#include "fakes/fake_window_system.h"
#include "platform/platform.h"

namespace velmora::fakes {

// A FakePlatform made while another is installed gives that one back when it goes.
class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  FakeRegistry registry;
  FakeKernel kernel;
  FakeClock clock;
  FakeFiles files;
  FakeCodePage codePage;
  FakeShell shell;
  FakeGdi gdi;
  FakeWindowSystem windows{gdi};
  FakeAccounts accounts;
  FakeServiceControl services;
  FakeDialogHost dialogs{windows};
  FakeDirectory directory;

  // Where the log lands with the default environment.
  static constexpr const wchar_t* kLogPath =
      L"C:\\Users\\user\\AppData\\Local\\Temp\\VelmoraTray.log";

 private:
  Platform outer_ = GetPlatform();
};

// The program's own English string table (resource id -> text), read from resources/resource.h
// and the .rc, so that the fake shell serves exactly the strings the real program carries.
const std::map<int, std::wstring>& ProgramStringTable();
// A file of the source tree, whole.
std::string ReadSourceFile(const std::string& relative);

}  // namespace velmora::fakes
