// The one process-wide bundle of platform services: the real one is installed by the program
// entry, a fake one by each test fixture. Logic reaches the platform only through it.
#pragma once

#include "platform/accounts.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dialog_host.h"
#include "platform/directory.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "platform/shell.h"
#include "platform/window_system.h"

namespace velmora {

struct Platform {
  Registry* registry = nullptr;
  Kernel* kernel = nullptr;
  Clock* clock = nullptr;
  Files* files = nullptr;
  CodePage* codePage = nullptr;
  Shell* shell = nullptr;
  WindowSystem* windows = nullptr;
  Accounts* accounts = nullptr;
  ServiceControl* services = nullptr;
  DialogHost* dialogs = nullptr;
  Gdi* gdi = nullptr;
  Directory* directory = nullptr;
};

void InstallPlatform(const Platform& platform);
const Platform& GetPlatform();

inline Registry& Reg() { return *GetPlatform().registry; }
inline Kernel& Kern() { return *GetPlatform().kernel; }
inline Clock& Time() { return *GetPlatform().clock; }
inline Files& Fs() { return *GetPlatform().files; }
inline CodePage& AnsiCodePage() { return *GetPlatform().codePage; }
inline Shell& ShellUi() { return *GetPlatform().shell; }
inline WindowSystem& Windows() { return *GetPlatform().windows; }
inline Accounts& Users() { return *GetPlatform().accounts; }
inline ServiceControl& Services() { return *GetPlatform().services; }
inline DialogHost& Dialogs() { return *GetPlatform().dialogs; }
inline Gdi& Graphics() { return *GetPlatform().gdi; }
inline Directory& Dir() { return *GetPlatform().directory; }

}  // namespace velmora
