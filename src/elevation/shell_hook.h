// Installing the shell-hook library and following its request events.
#pragma once

namespace velmora {

bool SetHook();
void RemoveHook();
bool IsHookInstalled();
void StartShellHookEventThread();

}  // namespace velmora
