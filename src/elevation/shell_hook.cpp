#include "elevation/shell_hook.h"

#include <string>

#include "elevation/channel.h"
#include "elevation/event_loop.h"
#include "elevation/request_flow.h"
#include "identity/local_groups.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

// Main thread only: set by InitInstance, released by CleanupInstance.
HookHandle g_hHook = nullptr;
bool g_bShellHookAllowed = true;

}  // namespace

bool IsShellHookDisabled() {
  std::wstring text;
  return GetSetting(L"DisableShellHook", text, SettingKind::kNumber) && !text.empty() &&
         text != L"0";
}

void AllowShellHook(bool allowed) { g_bShellHookAllowed = allowed; }

bool SetHook() {
  Log("SetHook");
  uint32_t error = 0;
  switch (ShellUi().InstallCbtHook(kShellHookLibrary, "myhook", &g_hHook, &error)) {
    case HookInstall::kInstalled:
      Log("HOOK INSTALLED");
      return true;
    case HookInstall::kLibraryNotLoaded:
      Log("SetHook.The DLL could not be found.");
      return false;
    case HookInstall::kProcedureNotFound:
      Log("SetHook. The function was not found.");
      return false;
    case HookInstall::kHookFailed:
      Log("Hook install failed. GetLastError: %d", error);
      return false;
  }
  return false;
}

void RemoveHook() {
  if (g_hHook == nullptr) return;
  ShellUi().RemoveHook(g_hHook);
  g_hHook = nullptr;
}

bool IsHookInstalled() { return g_hHook != nullptr; }

void HandleShellHookEvent(int index) {
  if (index == 0) {
    Log("Add admin event signalled (from shell hook)");
    if (IsCurrentUserAdmin()) {
      Log("Current user is already in admin group. Skipping elevation");
      SignalShellHookSettled();
    } else {
      // No prompt: a shell request never asks for a reason.
      AddUserToAdmin(g_hMainWnd.load(std::memory_order_relaxed), KindShellHook,
                     kShellHookSeconds, nullptr);
    }
  } else if (index == 1) {
    Log("Admin de-elevate event signalled (from shell hook)");
    if (Load(g_bShellHookElevation) != 0) {
      Log("The elevation was initiated from Shell hook, then we de-elevate!");
      Kern().SignalEvent(GetChannelEvent(kEmergencyStartEvent));
    } else {
      Log("The elevation was not initiated from Shell hook, skipping de-elevate");
    }
  }
}

void RunShellHookEvents(Handle stop) {
  Log("TrackForShellHookEvents thread");
  // The request comes first: when both are signalled, an end must not precede its request.
  const std::vector<Handle> events = {GetChannelEvent(kShellHookRequestEvent),
                                      GetChannelEvent(kShellHookEndEvent)};
  // Signals from before this start are not for this tray.
  for (Handle event : events) Kern().ResetEvent(event);
  FollowEvents(
      events, stop, "ShellHookEventThread. Waiting for the shell hook's events failed. Error code: %u",
      [](size_t index) { HandleShellHookEvent(static_cast<int>(index)); },
      [] { Log("Waiting for shell hook events"); });
}

void StartShellHookEventThread() {
  if (!g_bShellHookAllowed) return;
  Kern().StartDetachedThread([] { RunShellHookEvents(nullptr); });
}

}  // namespace velmora
