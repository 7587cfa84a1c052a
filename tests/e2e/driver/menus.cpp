// The tray's popup menu, read inside its process through velmora_probe.dll.
#include "driver.h"
#include "velmora_probe.h"

namespace driver {
namespace {

// Module handle of `path` inside another process (null when it is not loaded there).
HMODULE RemoteModule(DWORD pid, const std::wstring& path) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
    if (CompareStringOrdinal(entry.szExePath, -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) {
      return entry.hModule;
    }
  }
  return nullptr;
}

bool RunRemote(HANDLE process, const void* start, void* argument) {
  HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(const_cast<void*>(start)),
      argument, 0, nullptr);
  return thread && WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
}

// Loads the probe into the menu's process, runs its export on the block there and reads the
// block back.
bool ReadMenuInside(HWND window, HMENU menu, velmora_probe::MenuBlock& block) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring probe = self;
  probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"velmora_probe.dll";
  HMODULE local = LoadLibraryW(probe.c_str());
  FARPROC localExport = local ? GetProcAddress(local, velmora_probe::kReadMenuExport) : nullptr;
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, PidOf(window));
  const size_t pathBytes = (probe.size() + 1) * sizeof(wchar_t);
  auto* remote =
      process ? static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(block) + pathBytes,
                                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
              : nullptr;
  if (!localExport || !remote) return false;
  char* remotePath = remote + sizeof(block);
  block = {};
  block.menu = reinterpret_cast<uintptr_t>(menu);
  block.window = reinterpret_cast<uintptr_t>(window);
  // kernel32 is at the same address in every process of the session.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto* loadLibrary = reinterpret_cast<const void*>(GetProcAddress(kernel, "LoadLibraryW"));
  const auto* freeLibrary = reinterpret_cast<const void*>(GetProcAddress(kernel, "FreeLibrary"));
  bool ok = WriteProcessMemory(process, remote, &block, sizeof(block), nullptr) &&
            WriteProcessMemory(process, remotePath, probe.c_str(), pathBytes, nullptr) &&
            RunRemote(process, loadLibrary, remotePath);
  HMODULE inside = ok ? RemoteModule(PidOf(window), probe) : nullptr;
  // The export is as far from the module's base there as here.
  const auto offset = reinterpret_cast<uintptr_t>(localExport) - reinterpret_cast<uintptr_t>(local);
  ok = inside &&
       RunRemote(process,
                 reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(inside) + offset),
                 remote) &&
       ReadProcessMemory(process, remote, &block, sizeof(block), nullptr);
  if (inside) RunRemote(process, freeLibrary, inside);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return ok;
}

// "ITEM <index> <id> <grayed 0|1> <x> <y> <text>" per item, x/y its centre on the screen.
int MenuItems(const Args& a) {
  HWND window = PollUntil(a.Ms(1), [&] { return FindTopLevel(a[0], L"#32768", L"", true); });
  if (!window) return kNotFound;
  DWORD_PTR menu = 0;
  if (!SendMessageTimeoutW(window, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, 2000, &menu) || !menu) {
    return Fail("MN_GETHMENU");
  }
  static velmora_probe::MenuBlock block;
  if (!ReadMenuInside(window, reinterpret_cast<HMENU>(menu), block) || block.count < 0) {
    return Fail("reading the menu inside its process");
  }
  for (int i = 0; i < std::min(block.count, 32); ++i) {
    velmora_probe::MenuItemInfo& item = block.items[i];
    item.text[127] = L'\0';
    const RECT& r = item.rect;
    Print("ITEM " + std::to_string(i) + " " + std::to_string(item.id) + " " +
          ((item.state & MF_GRAYED) ? "1 " : "0 ") + std::to_string((r.left + r.right) / 2) + " " +
          std::to_string((r.top + r.bottom) / 2) + " " + ToUtf8(item.text));
  }
  return kOk;
}

}  // namespace

std::vector<Command> MenuCommands() {
  return {{"menu-items", "<pid|image> <timeout_ms>", "items of the visible popup menu", MenuItems}};
}

}  // namespace driver
