#include "fakes/fake_platform.h"

#include "fakes/string_table.h"

#include "app/message_loop.h"
#include "elevation/channel.h"
#include "log/log.h"
#include "settings/managed_settings.h"
#include "state/globals.h"

namespace velmora::fakes {
namespace {

void ResetProcessState() {
  ResetGlobals();
  ResetManagedSettings();
  ClearLogFilePath();
  AppModule().Term();
}

}  // namespace

FakePlatform::FakePlatform() {
  files.SetEnvironment(L"TEMP", L"C:\\Users\\user\\AppData\\Local\\Temp");
  InstallPlatform(Platform{&registry, &kernel, &clock, &files, &codePage, &shell, &windows,
                           &accounts, &services, &dialogs, &gdi, &directory});
  windows.set_gdi(&gdi);
  for (const auto& entry : ProgramStringTable()) shell.SetString(entry.first, entry.second);
  ResetProcessState();
}

FakePlatform::~FakePlatform() {
  CloseChannelEvents();
  ResetProcessState();
  InstallPlatform(Platform{});
}

}  // namespace velmora::fakes
