// velmora_hook_tool: drives VelmoraSH64.dll from the command line, the way the tray and the
// hooked programs use it.
//
//   velmora_hook_tool request [timeout_ms]   ask the tray for a short elevation, wait for it
//   velmora_hook_tool end                    ask the tray to end the shell-hook elevation
//   velmora_hook_tool hook-check             install and remove the library's CBT hook
//
// Exit codes: 0 done (request settled, end signalled, hook check passed); 1 the request was not
// settled in time; 2 usage error, library or export missing, or a system call failed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/safe_dll_search.h"
#include "text/utf8.h"
#include "velmora_shell_hook.h"

namespace {

constexpr int kOk = 0;
constexpr int kTimedOut = 1;
constexpr int kFailed = 2;
constexpr DWORD kDefaultTimeoutMs = 10000;

void Print(FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

// Reports a failed call with the system error code it left (read by the caller before anything
// else can change it) and gives the exit code.
int Failure(const std::string& what, DWORD error) {
  Print(stderr, "velmora_hook_tool: " + what + " (error " + std::to_string(error) + ")");
  return kFailed;
}

int Usage() {
  Print(stderr,
        "usage: velmora_hook_tool request [timeout_ms]   (default 10000, at most 4294967294)\n"
        "       velmora_hook_tool end\n"
        "       velmora_hook_tool hook-check\n"
        "exit codes: 0 done, 1 request not settled in time, 2 error");
  return kFailed;
}

// Decimal digits only, below INFINITE: the library refuses an unbounded wait.
bool ParseTimeout(const std::wstring& text, DWORD& value) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long long parsed = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    parsed = parsed * 10 + static_cast<unsigned>(c - L'0');
  }
  if (parsed >= INFINITE) return false;
  value = static_cast<DWORD>(parsed);
  return true;
}

// Loaded by its plain name, as the tray does, so that the copy beside this program is found.
class Library {
 public:
  Library() : module_(LoadLibraryW(VELMORA_SHELL_HOOK_DLL)) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

  // GetProcAddress answers FARPROC; the detour through void(*)() is the cast GCC accepts
  // between unrelated function types.
  template <typename Fn>
  Fn Find(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// The export `name` of a loaded library, or null after reporting what is missing.
template <typename Fn>
Fn FindExport(const Library& library, const char* name) {
  if (library.get() == nullptr) {
    const DWORD error = GetLastError();
    Failure("VelmoraSH64.dll could not be loaded", error);
    return nullptr;
  }
  const Fn function = library.Find<Fn>(name);
  if (function == nullptr) {
    const DWORD error = GetLastError();
    Failure(std::string(name) + " not found in VelmoraSH64.dll", error);
  }
  return function;
}

int Request(DWORD timeoutMs) {
  const Library library;
  const auto request = FindExport<VelmoraRequestElevationFn>(library, "VelmoraRequestElevation");
  if (request == nullptr) return kFailed;
  if (request(timeoutMs)) {
    Print(stdout, "settled");
    return kOk;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_TIMEOUT) {
    Print(stdout, "timeout");
    return kTimedOut;
  }
  return Failure("VelmoraRequestElevation failed", error);
}

int End() {
  const Library library;
  const auto end = FindExport<VelmoraEndElevationFn>(library, "VelmoraEndElevation");
  if (end == nullptr) return kFailed;
  if (!end()) {
    const DWORD error = GetLastError();
    return Failure("VelmoraEndElevation failed", error);
  }
  Print(stdout, "signalled");
  return kOk;
}

// Installs the hook exactly as the tray does (all threads of the desktop), then creates a window
// under it: a CBT procedure that did not pass HCBT_CREATEWND on would make the creation fail.
int HookCheck() {
  const Library library;
  const auto procedure = FindExport<HOOKPROC>(library, "myhook");
  if (procedure == nullptr) return kFailed;
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(library.get(), path, MAX_PATH);
  Print(stdout, "loaded " + velmora::ToUtf8(std::wstring(path, length < MAX_PATH ? length : 0)));
  HHOOK hook = SetWindowsHookExW(WH_CBT, procedure, library.get(), 0);
  if (hook == nullptr) {
    const DWORD error = GetLastError();
    return Failure("SetWindowsHookExW(WH_CBT) failed", error);
  }
  Print(stdout, "installed");
  HWND window = CreateWindowExW(0, L"STATIC", L"velmora_hook_tool", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, nullptr, nullptr);
  const DWORD createError = GetLastError();
  if (window != nullptr) DestroyWindow(window);
  const bool removed = UnhookWindowsHookEx(hook) != FALSE;
  const DWORD unhookError = GetLastError();
  if (window == nullptr)
    return Failure("a window could not be created under the hook", createError);
  Print(stdout, "window created under the hook");
  if (!removed) return Failure("UnhookWindowsHookEx failed", unhookError);
  Print(stdout, "removed");
  return kOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  velmora::RestrictDllSearch();
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  if (command == L"request" && argc <= 3) {
    DWORD timeoutMs = kDefaultTimeoutMs;
    if (argc == 3 && !ParseTimeout(argv[2], timeoutMs)) return Usage();
    return Request(timeoutMs);
  }
  if (command == L"end" && argc == 2) return End();
  if (command == L"hook-check" && argc == 2) return HookCheck();
  return Usage();
}
