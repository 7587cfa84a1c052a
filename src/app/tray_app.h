// Process entry and lifetime of the tray: the start-up steps, InitInstance, the main loop and
// the cleanup, all against the installed Platform.
#pragma once

#include <string>

#include "platform/program_entry.h"

namespace velmora {

// Exit code of a process whose InitInstance failed (the error box has been shown).
constexpr int kExitInitFailed = 1;


bool InitInstance();
int Run();
void CleanupInstance();

}  // namespace velmora
