// ServiceEventThread: follows the service's answers (granted, ended, refused) and reports them
// to the main window by posted messages.
#pragma once

#include "platform/types.h"

namespace velmora {

// Resets the three service events, then starts ServiceEventThread as a detached thread.
void StartServiceEventThread();
// The thread body: waits for the service's events for ever. `stop`, when given, is waited on
// after them and ends the loop (tests end their thread with it).
void RunServiceEvents(Handle stop);
// What one service event means for the tray; index 0 START, 1 EXPIRE, 2 FORBID.
void HandleServiceEvent(int index);

}  // namespace velmora
