// velmora_shell_hook.h: the exports of VelmoraSH64.dll, the shell-hook library of Velmora.
//
// The library is a module loaded at run time: bind it with LoadLibraryW(VELMORA_SHELL_HOOK_DLL)
// (the plain name, so that the folder of the calling program is searched first) and
// GetProcAddress with the names below. The export names carry no decoration on either
// architecture, and no import library is built.
//
// The library talks to VelmoraTray.exe through three auto-reset, session-local events:
//   "event__123__"  library -> tray: elevate the current user for a short time
//   "event__124__"  tray -> library: the last request has been settled
//   "event__125__"  library -> tray: end the elevation the library asked for
// Whoever comes first creates an event (narrow-name API, NULL DACL); the other side opens it.
// An event exists only while some process holds a handle to it: a request made while the tray
// is not running is lost.
#ifndef VELMORA_SHELL_HOOK_H_
#define VELMORA_SHELL_HOOK_H_

#include <windows.h>

#define VELMORA_SHELL_HOOK_DLL L"VelmoraSH64.dll"

#ifdef __cplusplus
extern "C" {
#endif

// CBT hook procedure, for SetWindowsHookExW(WH_CBT, myhook, <library module>, 0). It passes
// every call on to the next hook and does nothing else inside the hooked programs.
LRESULT CALLBACK myhook(int code, WPARAM wParam, LPARAM lParam);
typedef LRESULT(CALLBACK* VelmoraHookProcFn)(int code, WPARAM wParam, LPARAM lParam);

// Asks the tray for a short elevation and waits up to timeoutMs for the tray to settle the
// request. "Settled" means granted, refused, or not needed (already an administrator); it does
// not say which. A settle signal left over from an earlier request that timed out is discarded
// first. Returns TRUE when settled in time. Otherwise FALSE with the last error ERROR_TIMEOUT
// (nobody answered in time), ERROR_INVALID_PARAMETER (timeoutMs is INFINITE: the wait is
// always bounded) or the code of the failed system call. Blocks the calling thread: do not call
// it from a hook procedure, from DllMain, or with a long time-out on a thread that owns windows.
BOOL WINAPI VelmoraRequestElevation(DWORD timeoutMs);
typedef BOOL(WINAPI* VelmoraRequestElevationFn)(DWORD timeoutMs);

// Asks the tray to end the elevation that the library asked for; the tray ignores it when the
// running elevation did not come from the library. Does not wait. Returns TRUE when the event
// was set, else FALSE with the last error of the failed system call.
BOOL WINAPI VelmoraEndElevation(void);
typedef BOOL(WINAPI* VelmoraEndElevationFn)(void);

#ifdef __cplusplus
}
#endif

#endif  // VELMORA_SHELL_HOOK_H_
