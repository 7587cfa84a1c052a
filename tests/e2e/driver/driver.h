// What velmora_driver and bench/velmora_bench_tool share: output, arguments, the command table,
// processes and windows. A command prints plain lines on stdout (LF only) and answers with its
// exit code: 0 success, 1 not found or timed out, 2 usage or API error. Every wait is bounded.
// Each command runs once in its own short process, so handles are left to the process's end.
#pragma once

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace driver {

enum ExitCode { kOk = 0, kNotFound = 1, kError = 2 };

using velmora::ToUtf8;

inline void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Reports a failed call with its last error and returns `code` for the caller to hand on.
inline int Fail(const std::string& what, int code = kError) {
  std::fprintf(stderr, "ERROR: %s (last error %lu)\n", what.c_str(), GetLastError());
  return code;
}

struct BadUsage {};

// The arguments after the command's name; a malformed one throws BadUsage.
struct Args {
  std::vector<std::wstring> list;
  size_t size() const { return list.size(); }
  const std::wstring& operator[](size_t i) const { return list.at(i); }
  // Decimal or 0x-hex, never negative, at most `max`; std::stoull throws on no number at all.
  unsigned long long Num(size_t i, unsigned long long max = ~0ULL) const {
    size_t used = 0;
    const unsigned long long value = std::stoull(list.at(i), &used, 0);
    if (used != list.at(i).size() || list.at(i)[0] == L'-' || value > max) throw BadUsage{};
    return value;
  }
  DWORD Ms(size_t i) const { return static_cast<DWORD>(Num(i, INFINITE - 1)); }
  HWND Window(size_t i) const { return reinterpret_cast<HWND>(static_cast<uintptr_t>(Num(i))); }
};

struct Command {
  const char* name;
  const char* args;
  const char* help;
  int (*run)(const Args&);
};

inline int Run(const char* program, const std::vector<Command>& commands, int argc,
               wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const std::string name = argc > 1 ? ToUtf8(argv[1]) : "";
  for (const Command& c : commands) {
    if (name != c.name) continue;
    try {
      return c.run(Args{{argv + 2, argv + argc}});
    } catch (...) {  // BadUsage, or an argument that is missing
      break;
    }
  }
  std::fprintf(stderr, "usage: %s <command> ...\n", program);
  for (const Command& c : commands) std::fprintf(stderr, "  %s %s: %s\n", c.name, c.args, c.help);
  return kError;
}

// A decimal PID, or every running process with this image name (VelmoraTray.exe).
inline std::vector<DWORD> Processes(const std::wstring& target) {
  if (!target.empty() && target.find_first_not_of(L"0123456789") == target.npos) {
    return {static_cast<DWORD>(std::wcstoul(target.c_str(), nullptr, 10))};
  }
  std::vector<DWORD> pids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    const std::wstring file = entry.szExeFile;
    const std::wstring image = file.substr(file.find_last_of(L"\\/") + 1);
    if (CompareStringOrdinal(image.c_str(), -1, target.c_str(), -1, TRUE) == CSTR_EQUAL) {
      pids.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return pids;
}

inline DWORD PidOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = L"";
  GetClassNameW(hwnd, name, 256);
  return name;
}

// A named CALLBACK: on 32-bit targets a lambda does not convert to the stdcall WNDENUMPROC.
inline BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(hwnd);
  return TRUE;
}

// The top-level windows, or every descendant of `parent`.
inline std::vector<HWND> Windows(HWND parent = nullptr) {
  std::vector<HWND> windows;
  const auto param = reinterpret_cast<LPARAM>(&windows);
  parent ? EnumChildWindows(parent, CollectWindow, param) : EnumWindows(CollectWindow, param);
  return windows;
}

// The first top-level window of `target` (see Processes; empty: any process) with this class
// and caption (empty: any). The caption is read without a message: a program busy starting up
// is not waited for.
inline HWND FindTopLevel(const std::wstring& target, const std::wstring& className,
                         const std::wstring& caption, bool mustBeVisible) {
  const std::vector<DWORD> pids = target.empty() ? std::vector<DWORD>{} : Processes(target);
  for (HWND hwnd : Windows()) {
    wchar_t text[512] = L"";
    GetWindowTextW(hwnd, text, 512);
    if ((target.empty() || std::find(pids.begin(), pids.end(), PidOf(hwnd)) != pids.end()) &&
        (!mustBeVisible || IsWindowVisible(hwnd)) &&
        (className.empty() || ClassOf(hwnd) == className) && (caption.empty() || text == caption)) {
      return hwnd;
    }
  }
  return nullptr;
}

// Asks `probe` every 20 ms until it answers or the time-out passes.
template <typename Probe>
auto PollUntil(DWORD timeoutMs, Probe probe) -> decltype(probe()) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    auto result = probe();
    if (result || GetTickCount64() >= deadline) return result;
    Sleep(20);
  }
}

}  // namespace driver
