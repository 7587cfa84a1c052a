// Libraries loaded by plain name come from the program's own folder and the system's only: a
// "VelmoraSH64.dll" (or any system DLL name) planted in the current folder or on PATH must never
// be loaded into a process that talks to the privileged service.
#pragma once

#include <windows.h>

namespace velmora {

inline void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Resolved at run time: Windows 7 without its loader update lacks the function, and an
  // import would stop the program from starting there.
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault == nullptr ||
      !setDefault(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    // At least the current folder leaves the search order.
    SetDllDirectoryW(L"");
  }
}

}  // namespace velmora
