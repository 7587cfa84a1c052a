// Process entry and lifetime of the tray: the start-up steps, InitInstance, the main loop and
// the cleanup, all against the installed Platform.
#pragma once

#include <string>

namespace velmora {

// Exit code of a process whose InitInstance failed (the error box has been shown).
constexpr int kExitInitFailed = 1;

// The whole life of the process after the platform is installed; answers the exit code.
int TrayMain();

bool InitInstance();
int Run();
void CleanupInstance();

}  // namespace velmora
