// VelmoraSH64.dll: the CBT hook that VelmoraTray.exe installs for the whole desktop, and the
// calls that raise the tray's shell-hook events. The contract is in velmora_shell_hook.h.
#include <type_traits>

#include "elevation/channel_records.h"
#include "platform/win32/unique_handle.h"
#include "velmora_shell_hook.h"

static_assert(std::is_same<decltype(&myhook), HOOKPROC>::value, "myhook must be a HOOKPROC");
static_assert(std::is_same<decltype(&myhook), VelmoraHookProcFn>::value, "header typedef");
static_assert(std::is_same<decltype(&VelmoraRequestElevation), VelmoraRequestElevationFn>::value,
              "header typedef");
static_assert(std::is_same<decltype(&VelmoraEndElevation), VelmoraEndElevationFn>::value,
              "header typedef");

namespace {

using velmora::channel::kShellHookEndEventName;
using velmora::channel::kShellHookRequestEventName;
using velmora::channel::kShellHookSettledEventName;
using EventHandle = velmora::UniqueKernelHandle;

// The tray obtains these events with exactly these attributes, so that whichever side comes
// first creates the object the other one opens. A present but NULL DACL lets every process of
// the session open it.
HANDLE ObtainEvent(const wchar_t* name) {
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
    return nullptr;
  }
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = &descriptor;
  attributes.bInheritHandle = FALSE;
  return CreateEventW(&attributes, FALSE, FALSE, name);
}

}  // namespace

// Runs inside every program of the desktop: it must never allocate, wait, log or fail.
LRESULT CALLBACK myhook(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI VelmoraRequestElevation(DWORD timeoutMs) {
  if (timeoutMs == INFINITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Held before the request goes out: an answer must find the object still alive.
  EventHandle settled(ObtainEvent(kShellHookSettledEventName));
  if (!settled) return FALSE;
  // A late answer to an earlier request that timed out would otherwise settle this one.
  if (!ResetEvent(settled.get())) return FALSE;
  {
    EventHandle elevate(ObtainEvent(kShellHookRequestEventName));
    if (!elevate || !SetEvent(elevate.get())) return FALSE;
  }
  switch (WaitForSingleObject(settled.get(), timeoutMs)) {
    case WAIT_OBJECT_0:
      return TRUE;
    case WAIT_TIMEOUT:
      SetLastError(ERROR_TIMEOUT);
      return FALSE;
    default:
      return FALSE;
  }
}

BOOL WINAPI VelmoraEndElevation(void) {
  EventHandle end(ObtainEvent(kShellHookEndEventName));
  return end && SetEvent(end.get());
}
