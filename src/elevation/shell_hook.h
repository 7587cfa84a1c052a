// The shell-hook library: installing its CBT hook in the desktop's programs, and answering
// the short elevations it asks for on the session's shell-hook events.
#pragma once

#include "platform/types.h"

namespace velmora {

// The library's file, looked up by this plain name in the tray's own folder and the system's.
inline constexpr wchar_t kShellHookLibrary[] = L"VelmoraSH64.dll";

// "DisableShellHook" read once at start: any text other than empty or "0" switches the hook off
// and leaves the library's events unanswered.
bool IsShellHookDisabled();
// Decides, from IsShellHookDisabled, whether the hook and its thread are used; InitInstance
// calls it once before the main window starts the thread.
void AllowShellHook(bool allowed);

// Loads the library and installs its "myhook" for every thread of the desktop; every failure
// is only logged. Runs once.
bool SetHook();
// Unhooks at clean-up, when SetHook had installed it.
void RemoveHook();
bool IsHookInstalled();

// Starts ShellHookEventThread (detached) unless the hook is switched off.
void StartShellHookEventThread();
// The thread body: resets the request and end events, then answers them for ever; `stop`, when
// given, ends it (tests).
void RunShellHookEvents(Handle stop);
// One event of the library: index 0 the request ("event__123__"), 1 the end ("event__125__").
void HandleShellHookEvent(int index);

}  // namespace velmora
