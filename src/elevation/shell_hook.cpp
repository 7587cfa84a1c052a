#include "elevation/shell_hook.h"

namespace velmora {

// The shell hook is not wired yet: nothing is installed and no thread waits.
bool SetHook() { return false; }
void RemoveHook() {}
bool IsHookInstalled() { return false; }
void StartShellHookEventThread() {}

}  // namespace velmora
