// velmora_driver: the console helper that the end-to-end scenarios run under Wine where Wine's
// own tools cannot reach: the tray's windows and menu as a user sees them, named kernel objects
// as an intruder would take them, and the service channel as the tray speaks it.
#include "driver.h"  // <windows.h> before the headers below

#include <aclapi.h>
#include <sddl.h>

#include "elevation/channel.h"
#include "platform/platform.h"
#include "platform/win32/no_destructor.h"
#include "platform/win32/win32_code_page.h"
#include "platform/win32/win32_kernel.h"
#include "platform/win32/win32_shell.h"

namespace driver {
namespace {

namespace channel = velmora::channel;

// ---- Processes and windows -----------------------------------------------------------------

int Terminate(const Args& a) {
  const auto code = static_cast<UINT>(a.size() > 1 ? a.Num(1, UINT_MAX) : 1);
  int result = kOk;
  for (DWORD pid : Processes(a[0])) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) continue;  // already gone
    TerminateProcess(process, code);
    if (WaitForSingleObject(process, a.size() > 2 ? a.Ms(2) : 5000) != WAIT_OBJECT_0) {
      result = Fail("process " + std::to_string(pid) + " did not end", kNotFound);
    }
  }
  return result;
}

// A top-level window of <pid|image> by class and title (empty: any), visible or not.
int FindWindow(const Args& a) {
  HWND hwnd = PollUntil(a.Ms(3), [&] { return FindTopLevel(a[0], a[1], a[2], false); });
  if (!hwnd) return kNotFound;
  Print(std::to_string(reinterpret_cast<uintptr_t>(hwnd)));
  return kOk;
}

int Send(const Args& a) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(a.Window(0), static_cast<UINT>(a.Num(1, UINT_MAX)),
                             static_cast<WPARAM>(a.Num(2)), static_cast<LPARAM>(a.Num(3)),
                             SMTO_ABORTIFHUNG, 10000, &result)
             ? kOk
             : Fail("SendMessageTimeoutW");
}

// A message marshalled across processes, unlike GetWindowText on another process's child.
DWORD_PTR Ask(HWND hwnd, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_ABORTIFHUNG, 2000, &result) ? result
                                                                                          : 0;
}

std::wstring TextOf(HWND hwnd) {
  std::vector<wchar_t> text(Ask(hwnd, WM_GETTEXTLENGTH) + 2, L'\0');
  Ask(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return text.data();
}

// The entries of another process's list box in the list's order, joined by "|".
std::wstring ListEntries(HWND list) {
  std::wstring entries;
  const auto count = static_cast<int>(Ask(list, LB_GETCOUNT));
  for (int i = 0; i < count; ++i) {
    std::vector<wchar_t> text(Ask(list, LB_GETTEXTLEN, i) + 2, L'\0');
    Ask(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    entries += (i ? L"|" : L"") + std::wstring(text.data());
  }
  return entries;
}

bool Is(const std::wstring& className, const wchar_t* expected) {
  return CompareStringOrdinal(className.c_str(), -1, expected, -1, TRUE) == CSTR_EQUAL;
}

// A visible window by its exact title: "PID <pid>", then one line per control: "<id> <class>
// visible=<0|1> enabled=<0|1> checked=<0|1> centre=<x>,<y> <text>", the text with backslashes,
// CR and LF escaped as in C.
int DescribeWindow(const Args& a) {
  HWND window = PollUntil(
      a.Ms(1), [&] { return FindTopLevel(a.size() > 2 ? a[2] : L"", L"", a[0], true); });
  if (!window) return kNotFound;
  Print("PID " + std::to_string(PidOf(window)));
  for (HWND child : Windows(window)) {
    const std::wstring cls = ClassOf(child);
    std::string text;
    for (char c : ToUtf8(Is(cls, L"ListBox") ? ListEntries(child) : TextOf(child))) {
      text += c == '\\' ? "\\\\" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    }
    RECT r{};
    GetWindowRect(child, &r);
    const bool checked = Is(cls, L"Button") && Ask(child, BM_GETCHECK) == BST_CHECKED;
    Print(std::to_string(GetDlgCtrlID(child)) + " " + ToUtf8(cls) +
          " visible=" + (IsWindowVisible(child) ? "1" : "0") +
          " enabled=" + (IsWindowEnabled(child) ? "1" : "0") + " checked=" + (checked ? "1" : "0") +
          " centre=" + std::to_string((r.left + r.right) / 2) + "," +
          std::to_string((r.top + r.bottom) / 2) + " " + text);
  }
  return kOk;
}

// The open popup menu, read on the thread that owns it by velmora_probe.dll's hook (a menu
// belongs to its process: Wine refuses it to any other). The probe leaves the lines in a section
// that every process loading it shares.
int MenuItems(const Args& a) {
  HWND menu = PollUntil(a.Ms(1), [&] { return FindTopLevel(a[0], L"#32768", L"", true); });
  if (!menu) return kNotFound;
  HMODULE probe = LoadLibraryW(L"velmora_probe.dll");
  // Through void*: a FARPROC does not convert to another function type without a warning.
  const auto hook = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(GetProcAddress(probe, "VelmoraProbeHook")));
  const auto items = reinterpret_cast<char* (*)()>(
      reinterpret_cast<void*>(GetProcAddress(probe, "VelmoraProbeItems")));
  if (!hook || !items) return Fail("no velmora_probe.dll beside the driver");
  items()[0] = '\0';
  HHOOK hooked =
      SetWindowsHookExW(WH_CALLWNDPROC, hook, probe, GetWindowThreadProcessId(menu, nullptr));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(menu, WM_NULL, 0, 0x5EED, SMTO_ABORTIFHUNG, 5000, &ignored);
  if (hooked) UnhookWindowsHookEx(hooked);
  if (!items()[0]) return Fail("the probe did not read the menu");
  std::printf("%s", items());
  return kOk;
}

// ---- Named kernel objects ------------------------------------------------------------------

// Obtains a name as its owner would and keeps it for a while: a mutex, or an event, which
// "signalled-event" also sets, so that the signal outlives the setter. "HELD" once it is held.
// The event is auto-reset with a NULL DACL, created or opened, as the tray and the shell-hook
// library obtain theirs.
int Hold(const Args& a) {
  const std::wstring& kind = a[0];
  if (kind != L"mutex" && kind != L"event" && kind != L"signalled-event") throw BadUsage{};
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
  HANDLE object = kind == L"mutex" ? CreateMutexW(nullptr, TRUE, a[1].c_str())
                                   : CreateEventW(&attributes, FALSE, FALSE, a[1].c_str());
  if (!object || (kind == L"signalled-event" && !SetEvent(object))) {
    return Fail("cannot hold " + ToUtf8(a[1]));
  }
  Print("HELD");
  Sleep(a.Ms(2));
  return kOk;
}

int ObjectDacl(const Args& a) {
  const bool event = a[0] == L"event";
  HANDLE object = event ? OpenEventW(READ_CONTROL, FALSE, a[1].c_str())
                        : OpenFileMappingW(READ_CONTROL, FALSE, a[1].c_str());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  LPWSTR sddl = nullptr;
  if (!object || GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
    return Fail("cannot read the DACL of " + ToUtf8(a[1]));
  }
  Print(ToUtf8(sddl));
  return kOk;
}

// ---- The service channel, through the tray's own code --------------------------------------

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

// The service's answer events, opened (never created) in the tray's order.
struct Answers {
  HANDLE events[3] = {};
  Answers() {
    const wchar_t* names[] = {channel::kStartEventName, channel::kExpireEventName,
                              channel::kForbidEventName};
    for (int i = 0; i < 3; ++i) events[i] = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, names[i]);
  }
  bool ok() const { return events[0] && events[1] && events[2]; }
  // As the tray's event thread does at its start: no earlier signal is taken for the answer.
  void Reset() const {
    for (HANDLE event : events) ResetEvent(event);
  }
  // Prints the first answer (START, EXPIRE, FORBID) or TIMEOUT.
  void Print(DWORD timeout) const {
    static const char* const kNames[] = {"START", "EXPIRE", "FORBID", "TIMEOUT"};
    driver::Print(kNames[std::min<DWORD>(WaitForMultipleObjects(3, events, FALSE, timeout), 3)]);
  }
};

// The tray's request, [count] times over, each answer printed.
int ServiceRequest(const Args& a) {
  const bool atLogin = a.Num(2, 1) == 1;
  const Answers answers;
  if (!answers.ok()) return Fail("the service's answer events are missing");
  InstallTrayPlatform();
  for (auto i = a.size() > 5 ? a.Num(5) : 1; i > 0; --i) {
    answers.Reset();
    velmora::WriteElevationRequest(a[0], a[1], atLogin, static_cast<uint32_t>(a.Num(3, UINT32_MAX)));
    velmora::SignalAddToAdmin(atLogin ? velmora::KindAtLogin : velmora::KindPeriod);
    answers.Print(a.Ms(4));
  }
  return kOk;
}

int ServiceWait(const Args& a) {
  const Answers answers;
  if (!answers.ok()) return Fail("the service's answer events are missing");
  driver::Print("WAITING");
  answers.Print(a.Ms(0));
  return kOk;
}

}  // namespace
}  // namespace driver

int wmain(int argc, wchar_t** argv) {
  using namespace driver;
  return Run(
      "velmora_driver",
      {
          {"terminate", "<pid|image> [code] [timeout_ms]", "end processes, wait for them", Terminate},
          {"find-window", "<pid|image> <class> <title> <timeout_ms>", "a top-level window",
           FindWindow},
          {"send", "<hwnd> <msg> <wparam> <lparam>", "send a window message", Send},
          {"window", "<title> <timeout_ms> [pid|image]", "a visible window's controls",
           DescribeWindow},
          {"menu-items", "<pid|image> <timeout_ms>", "items of the open popup menu", MenuItems},
          {"hold", "<mutex|event|signalled-event> <name> <ms>", "own a name for a while", Hold},
          {"object-dacl", "<event|mapping> <name>", "DACL of a named object as SDDL", ObjectDacl},
          {"service-request", "<user> <reason> <at-login> <seconds> <timeout_ms> [count]",
           "the tray's request; prints each answer", ServiceRequest},
          {"service-wait", "<timeout_ms>", "first of START, EXPIRE, FORBID", ServiceWait},
      },
      argc, argv);
}
