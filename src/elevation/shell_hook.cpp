#include "elevation/shell_hook.h"

namespace velmora {

// No hook is installed and no thread waits for the library's events.
bool SetHook() { return false; }
void RemoveHook() {}
bool IsHookInstalled() { return false; }
void StartShellHookEventThread() {}

}  // namespace velmora
