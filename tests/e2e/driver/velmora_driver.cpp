// velmora_driver: a small console helper that the end-to-end scripts run under Wine to look at
// and poke the tray from inside the Windows side (windows, messages, registry, kernel objects).
//
// Every subcommand prints plain lines on stdout (binary mode, so LF only; scripts still strip
// CR) and answers with its exit code: 0 success, 1 "not found / timed out", 2 usage or API error.
// Every wait is bounded by the caller's timeout.

// ---- velmora_probe.dll: this file built with VELMORA_DRIVER_PROBE. A menu belongs to its
// process (Wine refuses GetMenuItemCount from another one), so menu-items runs this export
// inside the tray on a remote thread.
#include <windows.h>

#include <cstdint>

namespace velmora_probe {

struct MenuItemInfo {
  uint32_t id;
  uint32_t state;
  RECT rect;  // screen coordinates
  wchar_t text[128];
};

struct MenuBlock {
  uint64_t menu;
  uint64_t window;
  int32_t count;
  MenuItemInfo items[32];
};

constexpr char kReadMenuExport[] = "VelmoraProbeReadMenu";

}  // namespace velmora_probe

#ifdef VELMORA_DRIVER_PROBE

extern "C" __declspec(dllexport) DWORD WINAPI VelmoraProbeReadMenu(LPVOID param) {
  auto* block = static_cast<velmora_probe::MenuBlock*>(param);
  HMENU menu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(block->menu));
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(block->window));
  block->count = GetMenuItemCount(menu);
  const int count = block->count < 32 ? block->count : 32;
  for (int i = 0; i < count; ++i) {
    velmora_probe::MenuItemInfo& item = block->items[i];
    item.id = GetMenuItemID(menu, i);
    item.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    GetMenuItemRect(window, menu, static_cast<UINT>(i), &item.rect);
    GetMenuStringW(menu, static_cast<UINT>(i), item.text, 128, MF_BYPOSITION);
  }
  return static_cast<DWORD>(block->count);
}

#else  // the driver

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "elevation/channel.h"
#include "platform/platform.h"
#include "platform/win32/no_destructor.h"
#include "platform/win32/win32_code_page.h"
#include "platform/win32/win32_kernel.h"
#include "platform/win32/win32_shell.h"

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kError = 2;
constexpr int kBadUsage = -1;  // reported as kError after the usage text

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring FromCodePage(UINT codePage, const std::string& bytes, DWORD flags = 0) {
  if (bytes.empty()) return {};
  const int size = MultiByteToWideChar(codePage, flags, bytes.data(),
                                       static_cast<int>(bytes.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                      size);
  return out;
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintLine(const std::wstring& line) { PrintLine(ToUtf8(line)); }

void Fail(const std::string& what) {
  const std::string line = "ERROR: " + what + " (last error " + std::to_string(GetLastError()) +
                           ")\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string Hex(uint64_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + out;
}

// Accepts decimal, 0x-hex and negative numbers; rejects trailing garbage.
bool ParseInt(const std::wstring& text, long long& value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  errno = 0;
  const long long parsed = std::wcstoll(text.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != L'\0') return false;
  value = parsed;
  return true;
}

bool ParseUnsigned(const std::wstring& text, unsigned long long& value) {
  if (text.empty() || text[0] == L'-') return false;
  wchar_t* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::wcstoull(text.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != L'\0') return false;
  value = parsed;
  return true;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring BaseName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// ---------------------------------------------------------------------------------------------
// Processes

std::vector<DWORD> ProcessesByImage(const std::wstring& image) {
  std::vector<DWORD> pids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return pids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (EqualsNoCase(BaseName(entry.szExeFile), image)) pids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return pids;
}

// A process argument is a decimal PID or an image name such as VelmoraTray.exe.
std::vector<DWORD> ResolveProcesses(const std::wstring& target) {
  unsigned long long pid = 0;
  if (ParseUnsigned(target, pid)) return {static_cast<DWORD>(pid)};
  return ProcessesByImage(target);
}

// ---------------------------------------------------------------------------------------------
// Windows

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// WM_GETTEXT is marshalled across processes, unlike GetWindowText on another process's child.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return {};
  }
  std::vector<wchar_t> buffer(length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, 2000, &copied)) {
    return {};
  }
  return std::wstring(buffer.data(), std::min<size_t>(copied, buffer.size() - 1));
}

// Caption of a top-level window of another process, read without sending it a message, so a
// program busy starting up is not waited for (that would distort start-up times).
std::wstring CaptionOf(HWND hwnd) {
  wchar_t caption[512] = {};
  const int length = GetWindowTextW(hwnd, caption, static_cast<int>(std::size(caption)));
  return std::wstring(caption, length > 0 ? static_cast<size_t>(length) : 0);
}

DWORD PidOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

// A named CALLBACK function: on 32-bit targets a lambda does not convert to the stdcall
// WNDENUMPROC.
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> windows;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// Top-level window of one of `pids` with this class and title (empty = any).
HWND FindTopLevel(const std::vector<DWORD>& pids, const std::wstring& className,
                  const std::wstring& title, bool mustBeVisible) {
  for (HWND hwnd : TopLevelWindows()) {
    if (!pids.empty() && std::find(pids.begin(), pids.end(), PidOf(hwnd)) == pids.end()) continue;
    if (mustBeVisible && !IsWindowVisible(hwnd)) continue;
    if (!className.empty() && ClassOf(hwnd) != className) continue;
    if (!title.empty() && CaptionOf(hwnd) != title) continue;
    return hwnd;
  }
  return nullptr;
}

bool ParseHwnd(const std::wstring& text, HWND& hwnd) {
  unsigned long long value = 0;
  if (!ParseUnsigned(text, value)) return false;
  hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
  return true;
}

// Polls `probe` every few milliseconds until it answers or the time-out passes.
template <typename Probe>
auto PollUntil(DWORD timeoutMs, Probe probe) -> decltype(probe()) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    auto result = probe();
    if (result || GetTickCount64() >= deadline) return result;
    Sleep(20);
  }
}

constexpr wchar_t kMainClass[] = L"#32770";
constexpr wchar_t kMainTitle[] = L"Velmora";

int CmdFindMain(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], timeout)) return kBadUsage;
  HWND found = PollUntil(static_cast<DWORD>(timeout), [&]() -> HWND {
    const std::vector<DWORD> pids = ResolveProcesses(args[0]);
    if (pids.empty()) return nullptr;
    return FindTopLevel(pids, kMainClass, kMainTitle, false);
  });
  if (!found) return kNotFound;
  PrintLine(Hex(reinterpret_cast<uintptr_t>(found)));
  return kOk;
}

int CmdPids(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return kBadUsage;
  const std::vector<DWORD> pids = ProcessesByImage(args[0]);
  for (DWORD pid : pids) PrintLine(std::to_string(pid));
  return pids.empty() ? kNotFound : kOk;
}

int CmdWindows(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return kBadUsage;
  const std::vector<DWORD> pids = ResolveProcesses(args[0]);
  if (pids.empty()) return kNotFound;
  for (HWND hwnd : TopLevelWindows()) {
    if (std::find(pids.begin(), pids.end(), PidOf(hwnd)) == pids.end()) continue;
    PrintLine(Hex(reinterpret_cast<uintptr_t>(hwnd)) + " pid=" + std::to_string(PidOf(hwnd)) +
              " visible=" + (IsWindowVisible(hwnd) ? "1" : "0") + " class=" +
              ToUtf8(ClassOf(hwnd)) + " title=" + ToUtf8(CaptionOf(hwnd)));
  }
  return kOk;
}

int CmdPost(const std::vector<std::wstring>& args, bool send) {
  HWND hwnd = nullptr;
  long long msg = 0, wparam = 0, lparam = 0;
  if (args.size() != 4 || !ParseHwnd(args[0], hwnd) || !ParseInt(args[1], msg) ||
      !ParseInt(args[2], wparam) || !ParseInt(args[3], lparam)) {
    return kBadUsage;
  }
  if (!IsWindow(hwnd)) {
    Fail("no such window");
    return kNotFound;
  }
  if (!send) {
    if (!PostMessageW(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(wparam),
                      static_cast<LPARAM>(lparam))) {
      Fail("PostMessageW");
      return kError;
    }
    return kOk;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(wparam),
                           static_cast<LPARAM>(lparam), SMTO_ABORTIFHUNG, 10000, &result)) {
    Fail("SendMessageTimeoutW");
    return kError;
  }
  PrintLine("RESULT: " + std::to_string(static_cast<long long>(result)));
  return kOk;
}

// Prints what a message box shows: its static texts and its buttons with their ids.
void DescribeBox(HWND box) {
  PrintLine("HWND: " + Hex(reinterpret_cast<uintptr_t>(box)));
  PrintLine("PID: " + std::to_string(PidOf(box)));
  for (HWND child : ChildWindows(box)) {
    const std::wstring cls = ClassOf(child);
    const std::wstring text = TextOf(child);
    if (EqualsNoCase(cls, L"Button")) {
      PrintLine("BUTTON " + std::to_string(GetDlgCtrlID(child)) + ": " + ToUtf8(text));
    } else if (!text.empty()) {
      // A long box text can span lines; keep one output line per control.
      std::string flat = ToUtf8(text);
      std::replace(flat.begin(), flat.end(), '\r', ' ');
      std::replace(flat.begin(), flat.end(), '\n', ' ');
      PrintLine("TEXT: " + flat);
    }
  }
}

int CmdWaitBox(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], timeout)) return kBadUsage;
  HWND box = PollUntil(static_cast<DWORD>(timeout),
                       [&]() { return FindTopLevel({}, L"", args[0], true); });
  if (!box) return kNotFound;
  DescribeBox(box);
  return kOk;
}

int CmdPressBox(const std::vector<std::wstring>& args) {
  long long id = 0;
  unsigned long long timeout = 5000;
  if (args.size() < 2 || args.size() > 3 || !ParseInt(args[1], id) ||
      (args.size() == 3 && !ParseUnsigned(args[2], timeout))) {
    return kBadUsage;
  }
  HWND box = PollUntil(static_cast<DWORD>(timeout),
                       [&]() { return FindTopLevel({}, L"", args[0], true); });
  if (!box) return kNotFound;
  HWND button = GetDlgItem(box, static_cast<int>(id));
  // The dialog procedure of a message box ends the box on WM_COMMAND with the button's id; a
  // posted command does not depend on focus or on a window manager.
  if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                    reinterpret_cast<LPARAM>(button))) {
    Fail("PostMessageW(WM_COMMAND)");
    return kError;
  }
  const bool gone = PollUntil(static_cast<DWORD>(timeout), [&]() { return !IsWindow(box); });
  if (!gone) {
    Fail("box still open after the button press");
    return kNotFound;
  }
  return kOk;
}

// ---------------------------------------------------------------------------------------------
// Kernel objects and processes

int CmdHoldMutex(const std::vector<std::wstring>& args) {
  unsigned long long seconds = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], seconds)) return kBadUsage;
  HANDLE mutex = CreateMutexW(nullptr, TRUE, args[0].c_str());
  if (!mutex) {
    Fail("CreateMutexW");
    return kError;
  }
  PrintLine(GetLastError() == ERROR_ALREADY_EXISTS ? "HELD existing" : "HELD");
  Sleep(static_cast<DWORD>(std::min<unsigned long long>(seconds * 1000ULL, 0x7FFFFFFFULL)));
  CloseHandle(mutex);
  return kOk;
}

int CmdWaitExit(const std::vector<std::wstring>& args) {
  unsigned long long pid = 0, timeout = 0;
  if (args.size() != 2 || !ParseUnsigned(args[0], pid) || !ParseUnsigned(args[1], timeout)) {
    return kBadUsage;
  }
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                               static_cast<DWORD>(pid));
  if (!process) {
    Fail("OpenProcess");
    return kError;
  }
  const DWORD wait = WaitForSingleObject(process, static_cast<DWORD>(timeout));
  DWORD code = 0;
  const bool done = wait == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (!done) return kNotFound;
  PrintLine("EXIT: " + std::to_string(code));
  return kOk;
}

int CmdTerminate(const std::vector<std::wstring>& args) {
  unsigned long long code = 1, timeout = 5000;
  if (args.empty() || args.size() > 3 || (args.size() >= 2 && !ParseUnsigned(args[1], code)) ||
      (args.size() == 3 && !ParseUnsigned(args[2], timeout))) {
    return kBadUsage;
  }
  int result = kOk;
  for (DWORD pid : ResolveProcesses(args[0])) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) continue;  // already gone
    TerminateProcess(process, static_cast<UINT>(code));
    if (WaitForSingleObject(process, static_cast<DWORD>(timeout)) != WAIT_OBJECT_0) {
      Fail("process " + std::to_string(pid) + " did not end");
      result = kNotFound;
    }
    CloseHandle(process);
  }
  return result;
}

int CmdExpandEnv(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return kBadUsage;
  std::vector<wchar_t> buffer(32768, L'\0');
  const DWORD length =
      ExpandEnvironmentStringsW(args[0].c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length > buffer.size()) {
    Fail("ExpandEnvironmentStringsW");
    return kError;
  }
  PrintLine(std::wstring(buffer.data()));
  return kOk;
}

// ---------------------------------------------------------------------------------------------
// Registry

struct RegPlace {
  HKEY hive = nullptr;
  std::wstring path;
  REGSAM view = KEY_WOW64_64KEY;
};

bool ParseHive(const std::wstring& text, HKEY& hive) {
  if (EqualsNoCase(text, L"HKLM") || EqualsNoCase(text, L"HKEY_LOCAL_MACHINE")) {
    hive = HKEY_LOCAL_MACHINE;
  } else if (EqualsNoCase(text, L"HKCU") || EqualsNoCase(text, L"HKEY_CURRENT_USER")) {
    hive = HKEY_CURRENT_USER;
  } else {
    return false;
  }
  return true;
}

bool ParseView(const std::wstring& text, REGSAM& view) {
  if (text == L"64") {
    view = KEY_WOW64_64KEY;
  } else if (text == L"32") {
    view = KEY_WOW64_32KEY;
  } else {
    return false;
  }
  return true;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char chunk[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof(chunk), &got, nullptr) != FALSE) && got > 0) {
    bytes.append(chunk, got);
  }
  CloseHandle(file);
  return ok;
}

// Files written by shell scripts end in a line feed that is not part of the value.
void StripTrailingNewlines(std::string& text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
}

int SetString(const RegPlace& place, const std::wstring& name, const std::wstring& value) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(place.hive, place.path.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | place.view, nullptr,
                                   &key, nullptr);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    Fail("RegCreateKeyExW");
    return kError;
  }
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  status = RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    Fail("RegSetValueExW");
    return kError;
  }
  return kOk;
}

int CmdRegSetSz(const std::vector<std::wstring>& args) {
  RegPlace place;
  if (args.size() < 4 || args.size() > 5 || !ParseHive(args[0], place.hive) ||
      (args.size() == 5 && !ParseView(args[4], place.view))) {
    return kBadUsage;
  }
  place.path = args[1];
  std::string utf8;
  if (!ReadFileBytes(args[3], utf8)) {
    Fail("cannot read the text file");
    return kError;
  }
  StripTrailingNewlines(utf8);
  const std::wstring value = FromCodePage(CP_UTF8, utf8, MB_ERR_INVALID_CHARS);
  if (value.empty() && !utf8.empty()) {
    Fail("the text file is not UTF-8");
    return kError;
  }
  return SetString(place, args[2], value);
}

// The service stores the managed document as REG_SZ text whose ANSI bytes are the JSON bytes
// XOR 0x0E; the reader converts the text back with the thread's ANSI code page, so the bytes
// must survive that round trip exactly.
int CmdRegSetManaged(const std::vector<std::wstring>& args) {
  RegPlace place{HKEY_LOCAL_MACHINE, L"Software\\Ostrand\\Velmora", KEY_WOW64_64KEY};
  if (args.empty() || args.size() > 3 || (args.size() >= 2 && !ParseView(args[1], place.view))) {
    return kBadUsage;
  }
  if (args.size() == 3) place.path = args[2];
  std::string json;
  if (!ReadFileBytes(args[0], json)) {
    Fail("cannot read the document");
    return kError;
  }
  StripTrailingNewlines(json);
  std::string scrambled = json;
  for (char& byte : scrambled) byte = static_cast<char>(static_cast<unsigned char>(byte) ^ 0x0E);
  const std::wstring text = FromCodePage(CP_THREAD_ACP, scrambled);
  std::string back(scrambled.size() * 2 + 8, '\0');
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       back.data(), static_cast<int>(back.size()), nullptr, &lossy);
  back.resize(size > 0 ? static_cast<size_t>(size) : 0);
  if (lossy || back != scrambled) {
    Fail("the scrambled document does not survive the ANSI code page");
    return kError;
  }
  return SetString(place, L"Managed settings", text);
}

int CmdRegQuery(const std::vector<std::wstring>& args) {
  RegPlace place;
  if (args.size() < 3 || args.size() > 4 || !ParseHive(args[0], place.hive) ||
      (args.size() == 4 && !ParseView(args[3], place.view))) {
    return kBadUsage;
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(place.hive, args[1].c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
      ERROR_SUCCESS) {
    return kNotFound;
  }
  DWORD type = 0, bytes = 0;
  LSTATUS status = RegQueryValueExW(key, args[2].c_str(), nullptr, &type, nullptr, &bytes);
  std::vector<BYTE> data(bytes + sizeof(wchar_t) * 2, 0);
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExW(key, args[2].c_str(), nullptr, &type, data.data(), &bytes);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return kNotFound;
  if (type == REG_DWORD && bytes == 4) {
    DWORD value = 0;
    std::copy(data.begin(), data.begin() + 4, reinterpret_cast<BYTE*>(&value));
    PrintLine("REG_DWORD: " + std::to_string(value));
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    PrintLine((type == REG_SZ ? "REG_SZ: " : "REG_EXPAND_SZ: ") +
              ToUtf8(std::wstring(reinterpret_cast<const wchar_t*>(data.data()))));
  } else {
    std::string hex;
    for (DWORD i = 0; i < bytes; ++i) hex += Hex(data[i]).substr(2) + " ";
    PrintLine("TYPE " + std::to_string(type) + ": " + hex);
  }
  return kOk;
}

// Deletes whole keys; a key that is already missing counts as deleted.
int CmdRegDeleteTree(const std::vector<std::wstring>& args) {
  REGSAM view = KEY_WOW64_64KEY;
  if (args.size() < 2 || !ParseView(args[0], view)) return kBadUsage;
  int result = kOk;
  for (size_t i = 1; i < args.size(); ++i) {
    const size_t slash = args[i].find(L'\\');
    HKEY hive = nullptr;
    if (slash == std::wstring::npos || !ParseHive(args[i].substr(0, slash), hive)) return kBadUsage;
    const std::wstring path = args[i].substr(slash + 1);
    // RegDeleteTreeW has no view parameter: open the key in the wanted view, empty it, then
    // remove the key itself through RegDeleteKeyExW with that view.
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(hive, path.c_str(), 0, KEY_ALL_ACCESS | view, &key);
    if (status == ERROR_FILE_NOT_FOUND) continue;
    if (status == ERROR_SUCCESS) {
      status = RegDeleteTreeW(key, nullptr);
      RegCloseKey(key);
    }
    if (status == ERROR_SUCCESS) status = RegDeleteKeyExW(hive, path.c_str(), view, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      SetLastError(static_cast<DWORD>(status));
      Fail("cannot delete " + ToUtf8(args[i]));
      result = kError;
    }
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Start-up measurement

std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.*f", decimals, value);
  return buffer;
}

// measure-startup <runs> <class> <title> <exe> [args...]
// Time from CreateProcessW until the program's hidden main window (class and title) exists and
// until the program first waits for input; then, 500 ms later, its peak working set.
int CmdMeasureStartup(const std::vector<std::wstring>& args) {
  unsigned long long runs = 0;
  if (args.size() < 4 || !ParseUnsigned(args[0], runs) || runs == 0) return kBadUsage;
  const std::wstring& className = args[1];
  const std::wstring& title = args[2];
  std::wstring commandLine = QuoteArgument(args[3]);
  for (size_t i = 4; i < args.size(); ++i) commandLine += L" " + QuoteArgument(args[i]);

  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  auto msSince = [&](const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
  };

  std::vector<double> windowMs, idleMs, peakKb;
  for (unsigned long long run = 0; run < runs; ++run) {
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      Fail("CreateProcessW");
      return kError;
    }
    double tWindow = -1;
    const std::vector<DWORD> pid{info.dwProcessId};
    while (msSince(start) < 30000.0) {
      if (FindTopLevel(pid, className, title, false)) {
        tWindow = msSince(start);
        break;
      }
      if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    const DWORD idle = WaitForInputIdle(info.hProcess, 10000);
    const double tIdle = idle == 0 ? msSince(start) : -1;
    Sleep(500);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    const bool haveMemory = GetProcessMemoryInfo(info.hProcess, &counters, sizeof(counters));
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &exitCode);
    TerminateProcess(info.hProcess, 0);
    // The next run must not meet this one's single-instance mutex.
    const bool ended = WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (tWindow < 0 || exitCode != STILL_ACTIVE || !haveMemory || !ended) {
      Fail("run " + std::to_string(run + 1) + ": window " + (tWindow < 0 ? "missing" : "found") +
           ", exit code " + std::to_string(exitCode) + ", memory " + (haveMemory ? "ok" : "n/a") +
           ", ended " + (ended ? "yes" : "no"));
      return kError;
    }
    windowMs.push_back(tWindow);
    idleMs.push_back(tIdle < 0 ? tWindow : std::max(tIdle, tWindow));
    peakKb.push_back(static_cast<double>(counters.PeakWorkingSetSize) / 1024.0);
    PrintLine("RUN " + std::to_string(run + 1) + ": window_ms=" + Fixed(tWindow, 1) +
              " ready_ms=" + Fixed(idleMs.back(), 1) + " peak_ws_kb=" + Fixed(peakKb.back(), 0) +
              (tIdle < 0 ? " (no input-idle signal)" : ""));
  }
  PrintLine("MEDIAN window_ms=" + Fixed(Median(windowMs), 1) +
            " ready_ms=" + Fixed(Median(idleMs), 1) + " peak_ws_kb=" + Fixed(Median(peakKb), 0));
  return kOk;
}

// ---------------------------------------------------------------------------------------------
// Shell-hook events: the session-local events between VelmoraSH64.dll and the tray, obtained
// exactly as both of them obtain them (narrow name, auto-reset, NULL DACL, create-or-open), so
// that the driver can stand in for either side.

HANDLE ObtainNarrowEvent(const std::wstring& name) {
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
    return nullptr;
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = &descriptor;
  const int size = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return nullptr;
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  return CreateEventA(&attributes, FALSE, FALSE, narrow.c_str());
}

// wait-event-a <name> <timeout_ms> [answer-name]: "WAITING" once the event is held (a signal
// from then on is kept), "SIGNALLED" when it comes; then sets answer-name ("ANSWERED").
int CmdWaitEventA(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() < 2 || args.size() > 3 || !ParseUnsigned(args[1], timeout) ||
      timeout >= INFINITE) {
    return kBadUsage;
  }
  HANDLE event = ObtainNarrowEvent(args[0]);
  if (!event) {
    Fail("CreateEventA");
    return kError;
  }
  PrintLine("WAITING");
  const DWORD wait = WaitForSingleObject(event, static_cast<DWORD>(timeout));
  CloseHandle(event);
  if (wait == WAIT_TIMEOUT) return kNotFound;
  if (wait != WAIT_OBJECT_0) {
    Fail("WaitForSingleObject");
    return kError;
  }
  PrintLine("SIGNALLED");
  if (args.size() == 2) return kOk;
  HANDLE answer = ObtainNarrowEvent(args[2]);
  const bool answered = answer && SetEvent(answer);
  if (answer) CloseHandle(answer);
  if (!answered) {
    Fail("cannot set the answer event");
    return kError;
  }
  PrintLine("ANSWERED");
  return kOk;
}

// set-event-a <name> <hold_ms>: sets the event, then keeps it alive for hold_ms so that the
// signal outlives this process for a while ("SET" once it is set).
int CmdSetEventA(const std::vector<std::wstring>& args) {
  unsigned long long hold = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], hold) || hold >= INFINITE) return kBadUsage;
  HANDLE event = ObtainNarrowEvent(args[0]);
  if (!event || !SetEvent(event)) {
    Fail("cannot set the event");
    if (event) CloseHandle(event);
    return kError;
  }
  PrintLine("SET");
  Sleep(static_cast<DWORD>(hold));
  CloseHandle(event);
  return kOk;
}

// ---------------------------------------------------------------------------------------------
// Service channel: requests and settings written and signalled by the tray's own channel code,
// the service's answers, and the security of the objects the service created.

// The tray's channel functions reach the system through the platform bundle.
void InstallTrayPlatform() {
  static velmora::NoDestructor<velmora::Win32Kernel> kernel;
  static velmora::NoDestructor<velmora::Win32CodePage> codePage;
  static velmora::NoDestructor<velmora::Win32Shell> shell(GetModuleHandleW(nullptr));
  velmora::Platform platform;
  platform.kernel = kernel.get();
  platform.codePage = codePage.get();
  platform.shell = shell.get();
  velmora::InstallPlatform(platform);
}

// Backslash escapes in a reason, so that a scenario can pass control characters and
// surrogates on a command line: \r \n \t \\ \uXXXX.
bool Unescape(const std::wstring& text, std::wstring& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case L'r': out.push_back(L'\r'); break;
      case L'n': out.push_back(L'\n'); break;
      case L't': out.push_back(L'\t'); break;
      case L'\\': out.push_back(L'\\'); break;
      case L'u': {
        unsigned long long unit = 0;
        if (i + 4 >= text.size() || !ParseUnsigned(L"0x" + text.substr(i + 1, 4), unit)) {
          return false;
        }
        out.push_back(static_cast<wchar_t>(unit));
        i += 4;
        break;
      }
      default: return false;
    }
  }
  return true;
}

constexpr const wchar_t* kAnswerEvents[] = {velmora::channel::kStartEventName,
                                            velmora::channel::kExpireEventName,
                                            velmora::channel::kForbidEventName};
constexpr const char* kAnswerNames[] = {"START", "EXPIRE", "FORBID"};

// Opens (never creates) the service's three answer events; false when the service has not
// created them.
bool OpenAnswerEvents(HANDLE (&events)[3]) {
  for (int i = 0; i < 3; ++i) {
    events[i] = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAnswerEvents[i]);
    if (!events[i]) {
      Fail("OpenEventW " + ToUtf8(kAnswerEvents[i]));
      for (int j = 0; j < i; ++j) CloseHandle(events[j]);
      return false;
    }
  }
  return true;
}

// Prints the first answer in the tray's order (START, EXPIRE, FORBID) within the time-out.
int WaitAnswer(HANDLE (&events)[3], DWORD timeoutMs) {
  const DWORD wait = WaitForMultipleObjects(3, events, FALSE, timeoutMs);
  for (HANDLE event : events) CloseHandle(event);
  if (wait == WAIT_TIMEOUT) {
    PrintLine("TIMEOUT");
    return kNotFound;
  }
  if (wait >= WAIT_OBJECT_0 + 3) {
    Fail("WaitForMultipleObjects");
    return kError;
  }
  PrintLine(kAnswerNames[wait - WAIT_OBJECT_0]);
  return kOk;
}

// service-request <user> <reason> <at-login 0|1> <seconds> <timeout_ms>
int CmdServiceRequest(const std::vector<std::wstring>& args) {
  unsigned long long atLogin = 0, seconds = 0, timeout = 0;
  std::wstring reason;
  if (args.size() != 5 || !Unescape(args[1], reason) || !ParseUnsigned(args[2], atLogin) ||
      atLogin > 1 || !ParseUnsigned(args[3], seconds) || seconds > 0xFFFFFFFFull ||
      !ParseUnsigned(args[4], timeout) || timeout >= INFINITE) {
    return kBadUsage;
  }
  HANDLE events[3];
  if (!OpenAnswerEvents(events)) return kError;
  // As the tray's event thread does at its start: no earlier signal is taken for the answer.
  for (HANDLE event : events) ResetEvent(event);
  InstallTrayPlatform();
  velmora::WriteElevationRequest(args[0], reason, atLogin == 1, static_cast<uint32_t>(seconds));
  velmora::SignalAddToAdmin(atLogin == 1 ? velmora::KindAtLogin : velmora::KindPeriod);
  return WaitAnswer(events, static_cast<DWORD>(timeout));
}

// service-wait <timeout_ms>: "WAITING" once the answer events are held, then the first answer.
int CmdServiceWait(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() != 1 || !ParseUnsigned(args[0], timeout) || timeout >= INFINITE) {
    return kBadUsage;
  }
  HANDLE events[3];
  if (!OpenAnswerEvents(events)) return kError;
  PrintLine("WAITING");
  return WaitAnswer(events, static_cast<DWORD>(timeout));
}

// service-emergency: sets EMERGENCYSTART as the tray obtains it (create-or-open, NULL DACL).
int CmdServiceEmergency(const std::vector<std::wstring>& args) {
  if (!args.empty()) return kBadUsage;
  InstallTrayPlatform();
  velmora::EventParams params;
  params.name = velmora::channel::kEmergencyStartEventName;
  const velmora::Handle event = velmora::Kern().CreateOrOpenEvent(params);
  if (!event || !velmora::Kern().SignalEvent(event)) {
    Fail("cannot set EMERGENCYSTART");
    return kError;
  }
  velmora::Kern().CloseHandle(event);
  return kOk;
}

// service-settings <access-period> <identity> <resuscitate> <elevate-at-login 0|1>: the record
// the settings dialog sends for these control texts.
int CmdServiceSettings(const std::vector<std::wstring>& args) {
  unsigned long long atLogin = 0;
  if (args.size() != 4 || !ParseUnsigned(args[3], atLogin) || atLogin > 1) return kBadUsage;
  InstallTrayPlatform();
  velmora::WriteSettingsRecord(
      velmora::BuildSettingsRecord(args[0], args[1], args[2], atLogin == 1));
  velmora::SignalSaveSettings();
  return kOk;
}

// hold-event <name> <seconds>: creates (or opens) an event with a NULL DACL and keeps it, as
// someone squatting the name before the service starts would.
int CmdHoldEvent(const std::vector<std::wstring>& args) {
  unsigned long long seconds = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], seconds)) return kBadUsage;
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
  HANDLE event = CreateEventW(&attributes, FALSE, FALSE, args[0].c_str());
  if (!event) {
    Fail("CreateEventW");
    return kError;
  }
  PrintLine(GetLastError() == ERROR_ALREADY_EXISTS ? "HELD existing" : "HELD");
  Sleep(static_cast<DWORD>(std::min<unsigned long long>(seconds * 1000ULL, 0x7FFFFFFFULL)));
  CloseHandle(event);
  return kOk;
}

// object-dacl <event|mapping> <name>: the DACL of a named object in SDDL.
int CmdObjectDacl(const std::vector<std::wstring>& args) {
  if (args.size() != 2 || (args[0] != L"event" && args[0] != L"mapping")) return kBadUsage;
  HANDLE object = args[0] == L"event" ? OpenEventW(READ_CONTROL, FALSE, args[1].c_str())
                                      : OpenFileMappingW(READ_CONTROL, FALSE, args[1].c_str());
  if (!object) {
    Fail("cannot open " + ToUtf8(args[1]));
    return kNotFound;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD read = GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                     nullptr, nullptr, nullptr, nullptr, &descriptor);
  CloseHandle(object);
  LPWSTR sddl = nullptr;
  if (read != ERROR_SUCCESS || !ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                   descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                   &sddl, nullptr)) {
    if (descriptor) LocalFree(descriptor);
    Fail("cannot read the DACL");
    return kError;
  }
  PrintLine(std::wstring(sddl));
  LocalFree(sddl);
  LocalFree(descriptor);
  return kOk;
}


// ---------------------------------------------------------------------------------------------
// Elevation scenarios and the tick benchmark: the tray's popup menu, its dialogs, its memory
// and the cost of its one-second tick.

constexpr wchar_t kMenuClass[] = L"#32768";
constexpr UINT kMnGetHMenu = 0x01E1;

// Visible popup menu window of one of the processes.
HWND FindMenuWindow(const std::wstring& target) {
  return FindTopLevel(ResolveProcesses(target), kMenuClass, L"", true);
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
         " " + std::to_string(r.bottom);
}

// menu-wait <pid|image> <timeout_ms>: "MENU <hwnd> <left> <top> <right> <bottom>" (screen).
int CmdMenuWait(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], timeout)) return kBadUsage;
  HWND menu = PollUntil(static_cast<DWORD>(timeout), [&]() { return FindMenuWindow(args[0]); });
  if (!menu) return kNotFound;
  RECT rect{};
  GetWindowRect(menu, &rect);
  PrintLine("MENU " + Hex(reinterpret_cast<uintptr_t>(menu)) + " " + RectText(rect));
  return kOk;
}

// Module handle of `path` inside another process (0 when it is not loaded there).
HMODULE RemoteModule(HANDLE process, const std::wstring& path) {
  HMODULE modules[1024];
  DWORD needed = 0;
  if (!EnumProcessModulesEx(process, modules, sizeof(modules), &needed, LIST_MODULES_ALL)) {
    return nullptr;
  }
  const size_t count = std::min<size_t>(needed / sizeof(HMODULE), std::size(modules));
  for (size_t i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH] = {};
    if (GetModuleFileNameExW(process, modules[i], name, MAX_PATH) && EqualsNoCase(name, path)) {
      return modules[i];
    }
  }
  return nullptr;
}

// Runs start(argument) on a new thread of `process`; false on failure or time-out.
bool RunRemoteThread(HANDLE process, const void* start, void* argument, DWORD& exitCode) {
  HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(const_cast<void*>(start)),
      argument, 0, nullptr);
  if (!thread) return false;
  const bool done = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 &&
                    GetExitCodeThread(thread, &exitCode);
  CloseHandle(thread);
  return done;
}

std::wstring ProbePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"velmora_probe.dll";
}

// Reads the menu shown in `window` from inside its process through velmora_probe.dll.
bool ReadRemoteMenu(HWND window, HMENU menu, velmora_probe::MenuBlock& block) {
  const std::wstring probe = ProbePath();
  HMODULE local = LoadLibraryW(probe.c_str());
  if (!local) {
    Fail("cannot load " + ToUtf8(probe));
    return false;
  }
  const auto* localExport =
      reinterpret_cast<const char*>(GetProcAddress(local, velmora_probe::kReadMenuExport));
  HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                   PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                               FALSE, PidOf(window));
  if (!localExport || !process) {
    Fail("probe export or OpenProcess");
    if (process) CloseHandle(process);
    return false;
  }
  const size_t pathBytes = (probe.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, sizeof(block) + pathBytes,
                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool ok = remote != nullptr;
  auto* remoteBlock = static_cast<char*>(remote);
  auto* remotePath = remoteBlock + sizeof(block);
  block = {};
  block.menu = reinterpret_cast<uintptr_t>(menu);
  block.window = reinterpret_cast<uintptr_t>(window);
  ok = ok && WriteProcessMemory(process, remoteBlock, &block, sizeof(block), nullptr) &&
       WriteProcessMemory(process, remotePath, probe.c_str(), pathBytes, nullptr);
  // kernel32 sits at the same address in every process of the session.
  const void* loadLibrary =
      reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW"));
  const void* freeLibrary =
      reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "FreeLibrary"));
  DWORD code = 0;
  ok = ok && RunRemoteThread(process, loadLibrary, remotePath, code);
  HMODULE remoteModule = ok ? RemoteModule(process, probe) : nullptr;
  if (remoteModule) {
    const char* remoteExport = reinterpret_cast<const char*>(remoteModule) +
                               (localExport - reinterpret_cast<const char*>(local));
    ok = RunRemoteThread(process, remoteExport, remoteBlock, code) &&
         ReadProcessMemory(process, remoteBlock, &block, sizeof(block), nullptr);
    RunRemoteThread(process, freeLibrary, remoteModule, code);
  } else {
    ok = false;
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  FreeLibrary(local);
  if (!ok) Fail("reading the menu inside its process failed");
  return ok;
}

// menu-items <pid|image> <timeout_ms>: "ITEM <index> <id> <grayed 0|1> <x> <y> <text>" per item,
// x/y the centre of the item on the screen (= inside the virtual desktop window).
int CmdMenuItems(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() != 2 || !ParseUnsigned(args[1], timeout)) return kBadUsage;
  HWND window = PollUntil(static_cast<DWORD>(timeout), [&]() { return FindMenuWindow(args[0]); });
  if (!window) return kNotFound;
  DWORD_PTR menu = 0;
  if (!SendMessageTimeoutW(window, kMnGetHMenu, 0, 0, SMTO_ABORTIFHUNG, 2000, &menu) || !menu) {
    Fail("MN_GETHMENU");
    return kError;
  }
  static velmora_probe::MenuBlock block;
  if (!ReadRemoteMenu(window, reinterpret_cast<HMENU>(menu), block)) return kError;
  if (block.count < 0) {
    Fail("GetMenuItemCount inside the tray");
    return kError;
  }
  for (int i = 0; i < std::min(block.count, 32); ++i) {
    velmora_probe::MenuItemInfo& item = block.items[i];
    item.text[127] = L'\0';
    PrintLine("ITEM " + std::to_string(i) + " " + std::to_string(item.id) + " " +
              ((item.state & MF_GRAYED) ? "1" : "0") + " " +
              std::to_string((item.rect.left + item.rect.right) / 2) + " " +
              std::to_string((item.rect.top + item.rect.bottom) / 2) + " " + ToUtf8(item.text));
  }
  return kOk;
}

// find-dialog <pid|image> <title> <timeout_ms>: a visible dialog (#32770) of the process with
// that caption, described like a message box, then "CONTROL <id> <class> visible=0|1
// centre=<x>,<y>" (screen) per control.
int CmdFindDialog(const std::vector<std::wstring>& args) {
  unsigned long long timeout = 0;
  if (args.size() != 3 || !ParseUnsigned(args[2], timeout)) return kBadUsage;
  HWND dialog = PollUntil(static_cast<DWORD>(timeout), [&]() {
    return FindTopLevel(ResolveProcesses(args[0]), kMainClass, args[1], true);
  });
  if (!dialog) return kNotFound;
  DescribeBox(dialog);
  for (HWND child : ChildWindows(dialog)) {
    RECT rect{};
    GetWindowRect(child, &rect);
    PrintLine("CONTROL " + std::to_string(GetDlgCtrlID(child)) + " " + ToUtf8(ClassOf(child)) +
              " visible=" + (IsWindowVisible(child) ? "1" : "0") + " centre=" +
              std::to_string((rect.left + rect.right) / 2) + "," +
              std::to_string((rect.top + rect.bottom) / 2));
  }
  return kOk;
}

// set-item-text <dialog-hwnd> <id> <text> / click-item <dialog-hwnd> <id> (BM_CLICK).
int CmdDialogItem(const std::vector<std::wstring>& args, bool click) {
  HWND dialog = nullptr;
  long long id = 0;
  if (args.size() != (click ? 2u : 3u) || !ParseHwnd(args[0], dialog) || !ParseInt(args[1], id)) {
    return kBadUsage;
  }
  HWND item = GetDlgItem(dialog, static_cast<int>(id));
  if (!item) {
    Fail("no control " + std::to_string(id));
    return kNotFound;
  }
  DWORD_PTR result = 0;
  const BOOL sent =
      click ? SendMessageTimeoutW(item, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)
            : SendMessageTimeoutW(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()),
                                  SMTO_ABORTIFHUNG, 5000, &result);
  if (!sent) {
    Fail(click ? "BM_CLICK" : "WM_SETTEXT");
    return kError;
  }
  return kOk;
}

// PrivateUsage, or PagefileUsage where PrivateUsage stays 0 (Wine 8 leaves it unset; on Windows
// the two are the same commit charge).
bool PrivateBytes(DWORD pid, SIZE_T& privateBytes, SIZE_T& workingSet) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return false;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  const bool ok = GetProcessMemoryInfo(
      process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
  CloseHandle(process);
  privateBytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  workingSet = counters.WorkingSetSize;
  return ok;
}

// tick-bench <hwnd> <count>: sends WM_TIMER <count> times (synchronous, so each time is the
// whole handling of one tick) and prints the private bytes of the window's process around it.
// Each tick is followed by a WM_NULL send: what a cross-process send costs by itself.
int CmdTickBench(const std::vector<std::wstring>& args) {
  HWND window = nullptr;
  unsigned long long count = 0;
  if (args.size() != 2 || !ParseHwnd(args[0], window) || !ParseUnsigned(args[1], count) ||
      count == 0) {
    return kBadUsage;
  }
  const DWORD pid = PidOf(window);
  SIZE_T privateBefore = 0, privateAfter = 0, wsBefore = 0, wsAfter = 0;
  if (!PrivateBytes(pid, privateBefore, wsBefore)) {
    Fail("GetProcessMemoryInfo");
    return kError;
  }
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  std::vector<double> us, nullUs;
  us.reserve(count);
  nullUs.reserve(count);
  const auto timedSend = [&](UINT message, std::vector<double>& into) {
    LARGE_INTEGER t0{}, t1{};
    DWORD_PTR result = 0;
    QueryPerformanceCounter(&t0);
    if (!SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
      return false;
    }
    QueryPerformanceCounter(&t1);
    into.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 /
                   static_cast<double>(frequency.QuadPart));
    return true;
  };
  for (unsigned long long i = 0; i < count; ++i) {
    if (!timedSend(WM_TIMER, us) || !timedSend(WM_NULL, nullUs)) {
      Fail("SendMessageTimeoutW at tick " + std::to_string(i));
      return kError;
    }
  }
  if (!PrivateBytes(pid, privateAfter, wsAfter)) {
    Fail("GetProcessMemoryInfo");
    return kError;
  }
  std::vector<double> sorted = us;
  std::sort(sorted.begin(), sorted.end());
  const auto at = [&](double q) { return sorted[static_cast<size_t>(q * (sorted.size() - 1))]; };
  PrintLine("TICKS " + std::to_string(count));
  PrintLine("TICK_US median=" + Fixed(Median(us), 1) + " p95=" + Fixed(at(0.95), 1) +
            " p99=" + Fixed(at(0.99), 1) + " max=" + Fixed(sorted.back(), 1));
  PrintLine("NULL_US median=" + Fixed(Median(nullUs), 1));
  PrintLine("PRIVATE_BYTES before=" + std::to_string(privateBefore) +
            " after=" + std::to_string(privateAfter) + " growth=" +
            std::to_string(static_cast<long long>(privateAfter) -
                           static_cast<long long>(privateBefore)));
  PrintLine("WORKING_SET before=" + std::to_string(wsBefore) + " after=" + std::to_string(wsAfter));
  return kOk;
}

// private-bytes <pid|image>: "PRIVATE <bytes> WORKING_SET <bytes>" of the first process.
int CmdPrivateBytes(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return kBadUsage;
  const std::vector<DWORD> pids = ResolveProcesses(args[0]);
  SIZE_T privateBytes = 0, workingSet = 0;
  if (pids.empty() || !PrivateBytes(pids[0], privateBytes, workingSet)) return kNotFound;
  PrintLine("PRIVATE " + std::to_string(privateBytes) + " WORKING_SET " +
            std::to_string(workingSet));
  return kOk;
}

// tick-floor <count>: the platform calls one countdown tick is made of, bare, in this process:
// the setting read (a policy key in both views, then the product key), the "timerEnd" read,
// the 16 by 16 icon drawn, NIM_MODIFY of this process's own notification icon, the old icon
// destroyed. What Wine charges for them is the floor under the tray's tick.
int CmdTickFloor(const std::vector<std::wstring>& args) {
  unsigned long long count = 0;
  if (args.size() != 1 || !ParseUnsigned(args[0], count) || count == 0) return kBadUsage;
  HWND window = CreateWindowExW(0, L"STATIC", L"velmora tick floor", 0, 0, 0, 0, 0, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) {
    Fail("CreateWindowExW");
    return kError;
  }
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_USER + 1;
  data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wcscpy_s(data.szTip, L"Velmora");
  if (!Shell_NotifyIconW(NIM_ADD, &data)) {
    Fail("Shell_NotifyIconW(NIM_ADD)");
    DestroyWindow(window);
    return kError;
  }
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  const auto now = [&] {
    LARGE_INTEGER t{};
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  };
  const auto readValue = [](HKEY root, const wchar_t* path, REGSAM view, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    wchar_t buffer[64];
    DWORD size = sizeof(buffer);
    const bool found = RegQueryValueExW(key, name, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
  };
  std::vector<double> registry, drawing, notify, total;
  HICON previous = nullptr;
  for (unsigned long long i = 0; i < count; ++i) {
    const double t0 = now();
    readValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Ostrand\\Velmora", KEY_WOW64_64KEY,
              L"VisibleCountDown") ||
        readValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Ostrand\\Velmora", KEY_WOW64_32KEY,
                  L"VisibleCountDown") ||
        readValue(HKEY_LOCAL_MACHINE, L"Software\\Ostrand\\Velmora", KEY_WOW64_64KEY,
                  L"VisibleCountDown");
    readValue(HKEY_CURRENT_USER, L"Software\\Ostrand\\Velmora", KEY_WOW64_64KEY, L"timerEnd");
    const double t1 = now();
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP color = CreateCompatibleBitmap(screen, 16, 16);
    HBITMAP mask = CreateCompatibleBitmap(memory, 16, 16);
    ReleaseDC(window, screen);
    RECT square = {0, 0, 16, 16};
    HGDIOBJ oldBitmap = SelectObject(memory, mask);
    FillRect(memory, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(memory, color);
    FillRect(memory, &square, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int seconds = 998 - static_cast<int>(i % 990);
    HFONT font = CreateFontW(seconds < 10 ? 18 : seconds < 99 ? 16 : 12, 0, 0, 0, FW_NORMAL,
                             FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             L"Arial");
    HGDIOBJ oldFont = SelectObject(memory, font);
    SetBkColor(memory, RGB(255, 255, 255));
    SetTextColor(memory, RGB(0, 0, 0));
    const std::wstring text = std::to_wstring(seconds);
    DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &square,
              DT_CENTER | DT_WORDBREAK);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    ICONINFO info = {TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(font);
    DeleteDC(memory);
    DeleteObject(color);
    DeleteObject(mask);
    const double t2 = now();
    data.hIcon = icon;
    Shell_NotifyIconW(NIM_MODIFY, &data);
    const double t3 = now();
    if (previous) DestroyIcon(previous);
    previous = icon;
    const double t4 = now();
    registry.push_back(t1 - t0);
    drawing.push_back(t2 - t1 + t4 - t3);
    notify.push_back(t3 - t2);
    total.push_back(t4 - t0);
  }
  Shell_NotifyIconW(NIM_DELETE, &data);
  if (previous) DestroyIcon(previous);
  DestroyWindow(window);
  PrintLine("FLOOR_US median=" + Fixed(Median(total), 1) + " registry=" +
            Fixed(Median(registry), 1) + " drawing=" + Fixed(Median(drawing), 1) +
            " notify=" + Fixed(Median(notify), 1));
  return kOk;
}

// signal-start <count> <interval_ms>: sets the service's START event as the service does and
// prints "SET <GetTickCount64>" just before each signal (the clock of Wine's +timestamp).
int CmdSignalStart(const std::vector<std::wstring>& args) {
  unsigned long long count = 0, interval = 0;
  if (args.size() != 2 || !ParseUnsigned(args[0], count) || !ParseUnsigned(args[1], interval) ||
      interval >= INFINITE) {
    return kBadUsage;
  }
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, velmora::channel::kStartEventName);
  if (!event) {
    Fail("OpenEventW START");
    return kError;
  }
  for (unsigned long long i = 0; i < count; ++i) {
    PrintLine("SET " + std::to_string(GetTickCount64()));
    SetEvent(event);
    Sleep(static_cast<DWORD>(interval));
  }
  CloseHandle(event);
  return kOk;
}

// ticks: GetTickCount64 now (to line the driver's clock up with Wine's trace time stamps).
int CmdTicks(const std::vector<std::wstring>& args) {
  if (!args.empty()) return kBadUsage;
  PrintLine(std::to_string(GetTickCount64()));
  return kOk;
}

// ---------------------------------------------------------------------------------------------

int Usage() {
  static const char kUsage[] =
      "usage: velmora_driver <command> ...\n"
      "  find-main <pid|image> <timeout_ms>        hidden main window (#32770 \"Velmora\")\n"
      "  pids <image>                               Windows PIDs of running images\n"
      "  windows <pid|image>                        list top-level windows\n"
      "  post|send <hwnd> <msg> <wparam> <lparam>   post or send a window message\n"
      "  wait-box <title> <timeout_ms>              describe a visible window by exact title\n"
      "  press-box <title> <button-id> [timeout_ms] press a message box button\n"
      "  hold-mutex <name> <seconds>                own a named mutex for a while\n"
      "  wait-exit <pid> <timeout_ms>               wait for a process, print its exit code\n"
      "  terminate <pid|image> [code] [timeout_ms]  end processes and wait for them\n"
      "  expand-env <text>                          ExpandEnvironmentStringsW\n"
      "  reg-set-sz <HKLM|HKCU> <path> <name> <utf8-file> [32|64]\n"
      "  reg-set-managed <json-file> [32|64] [path] store the scrambled managed document\n"
      "  reg-query <HKLM|HKCU> <path> <name> [32|64]\n"
      "  reg-delete-tree <32|64> <HKLM|HKCU>\\<path>...\n"
      "  measure-startup <runs> <class> <title> <exe> [args...]\n"
      "  service-request <user> <reason> <at-login> <seconds> <timeout_ms>  tray's request\n"
      "  service-wait <timeout_ms>                  first of START, EXPIRE, FORBID\n"
      "  service-emergency                          set EMERGENCYSTART\n"
      "  service-settings <period> <identity> <resuscitate> <at-login>  tray's settings save\n"
      "  hold-event <name> <seconds>                own a NULL-DACL event for a while\n"
      "  object-dacl <event|mapping> <name>         DACL of a named object as SDDL\n"
      "  wait-event-a <name> <timeout_ms> [answer-name]  wait on a shell-hook event, answer\n"
      "  set-event-a <name> <hold_ms>               set a shell-hook event, keep it alive\n"
      "  menu-wait <pid|image> <timeout_ms>         visible popup menu and its screen rect\n"
      "  menu-items <pid|image> <timeout_ms>        its items (read inside the process)\n"
      "  find-dialog <pid|image> <title> <timeout_ms>  describe a visible dialog\n"
      "  set-item-text <hwnd> <id> <text>           WM_SETTEXT to a dialog control\n"
      "  click-item <hwnd> <id>                     BM_CLICK on a dialog button\n"
      "  private-bytes <pid|image>                  PrivateUsage and working set\n"
      "  tick-bench <hwnd> <count>                  time WM_TIMER sends, private bytes\n"
      "  tick-floor <count>                         bare platform calls of one tick\n"
      "  signal-start <count> <interval_ms>         set START, print GetTickCount64\n"
      "  ticks                                      GetTickCount64\n";
  std::fwrite(kUsage, 1, sizeof(kUsage) - 1, stderr);
  return kError;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  const std::vector<std::wstring> args(argv + 2, argv + argc);
  int result = kError;
  if (command == L"find-main") {
    result = CmdFindMain(args);
  } else if (command == L"pids") {
    result = CmdPids(args);
  } else if (command == L"windows") {
    result = CmdWindows(args);
  } else if (command == L"post") {
    result = CmdPost(args, false);
  } else if (command == L"send") {
    result = CmdPost(args, true);
  } else if (command == L"wait-box") {
    result = CmdWaitBox(args);
  } else if (command == L"press-box") {
    result = CmdPressBox(args);
  } else if (command == L"hold-mutex") {
    result = CmdHoldMutex(args);
  } else if (command == L"wait-exit") {
    result = CmdWaitExit(args);
  } else if (command == L"terminate") {
    result = CmdTerminate(args);
  } else if (command == L"expand-env") {
    result = CmdExpandEnv(args);
  } else if (command == L"reg-set-sz") {
    result = CmdRegSetSz(args);
  } else if (command == L"reg-set-managed") {
    result = CmdRegSetManaged(args);
  } else if (command == L"reg-query") {
    result = CmdRegQuery(args);
  } else if (command == L"reg-delete-tree") {
    result = CmdRegDeleteTree(args);
  } else if (command == L"measure-startup") {
    result = CmdMeasureStartup(args);
  } else if (command == L"service-request") {
    result = CmdServiceRequest(args);
  } else if (command == L"service-wait") {
    result = CmdServiceWait(args);
  } else if (command == L"service-emergency") {
    result = CmdServiceEmergency(args);
  } else if (command == L"service-settings") {
    result = CmdServiceSettings(args);
  } else if (command == L"hold-event") {
    result = CmdHoldEvent(args);
  } else if (command == L"object-dacl") {
    result = CmdObjectDacl(args);
  } else if (command == L"wait-event-a") {
    result = CmdWaitEventA(args);
  } else if (command == L"set-event-a") {
    result = CmdSetEventA(args);
  } else if (command == L"menu-wait") {
    result = CmdMenuWait(args);
  } else if (command == L"menu-items") {
    result = CmdMenuItems(args);
  } else if (command == L"find-dialog") {
    result = CmdFindDialog(args);
  } else if (command == L"set-item-text") {
    result = CmdDialogItem(args, false);
  } else if (command == L"click-item") {
    result = CmdDialogItem(args, true);
  } else if (command == L"private-bytes") {
    result = CmdPrivateBytes(args);
  } else if (command == L"tick-bench") {
    result = CmdTickBench(args);
  } else if (command == L"tick-floor") {
    result = CmdTickFloor(args);
  } else if (command == L"signal-start") {
    result = CmdSignalStart(args);
  } else if (command == L"ticks") {
    result = CmdTicks(args);
  } else {
    return Usage();
  }
  return result == kBadUsage ? Usage() : result;
}

#endif  // VELMORA_DRIVER_PROBE
