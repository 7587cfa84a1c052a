// Processes, named kernel objects and the service channel: the driver stands in for the tray,
// the shell-hook library or someone squatting a name, and looks at what the service created.
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

int Terminate(const Args& a) {
  const auto code = static_cast<UINT>(a.size() > 1 ? a.Num(1, UINT_MAX) : 1);
  const DWORD timeout = a.size() > 2 ? a.Ms(2) : 5000;
  int result = kOk;
  for (DWORD pid : Processes(a[0])) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) continue;  // already gone
    TerminateProcess(process, code);
    if (WaitForSingleObject(process, timeout) != WAIT_OBJECT_0) {
      result = Fail("process " + std::to_string(pid) + " did not end", kNotFound);
    }
  }
  return result;
}

// A NULL DACL, as the tray and the shell-hook library give their events.
struct OpenToAll {
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
  OpenToAll() {
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  }
};

// Takes a name before its owner does: a mutex, or an event as the tray would make it.
int Hold(const Args& a) {
  const bool mutex = a[0] == L"mutex";
  if (!mutex && a[0] != L"event") throw BadUsage{};
  const DWORD ms = static_cast<DWORD>(a.Num(2, 0x7FFFFFFF / 1000) * 1000);
  OpenToAll open;
  HANDLE object = mutex ? CreateMutexW(nullptr, TRUE, a[1].c_str())
                        : CreateEventW(&open.attributes, FALSE, FALSE, a[1].c_str());
  if (!object) return Fail("cannot create " + ToUtf8(a[1]));
  Print(GetLastError() == ERROR_ALREADY_EXISTS ? "HELD existing" : "HELD");
  Sleep(ms);
  return kOk;
}

int ObjectDacl(const Args& a) {
  const bool event = a[0] == L"event";
  if (!event && a[0] != L"mapping") throw BadUsage{};
  HANDLE object = event ? OpenEventW(READ_CONTROL, FALSE, a[1].c_str())
                        : OpenFileMappingW(READ_CONTROL, FALSE, a[1].c_str());
  if (!object) return Fail("cannot open " + ToUtf8(a[1]), kNotFound);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  LPWSTR sddl = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
    return Fail("cannot read the DACL");
  }
  Print(std::wstring(sddl));
  return kOk;
}

// A shell-hook event obtained as the library and the tray obtain it: narrow name, auto-reset,
// NULL DACL, create-or-open.
HANDLE NarrowEvent(const std::wstring& name) {
  char narrow[256] = {};
  if (!WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr)) {
    return nullptr;
  }
  OpenToAll open;
  return CreateEventA(&open.attributes, FALSE, FALSE, narrow);
}

// "WAITING" once the event is held (a signal from then on is kept), "SIGNALLED" when it comes,
// then sets the answer event ("ANSWERED").
int WaitEventA(const Args& a) {
  const DWORD timeout = a.Ms(1);
  HANDLE event = NarrowEvent(a[0]);
  if (!event) return Fail("CreateEventA");
  Print("WAITING");
  const DWORD wait = WaitForSingleObject(event, timeout);
  if (wait != WAIT_OBJECT_0) return wait == WAIT_TIMEOUT ? kNotFound : Fail("WaitForSingleObject");
  Print("SIGNALLED");
  if (a.size() < 3) return kOk;
  HANDLE answer = NarrowEvent(a[2]);
  if (!answer || !SetEvent(answer)) return Fail("cannot set the answer event");
  Print("ANSWERED");
  return kOk;
}

// Sets the event and keeps it alive for a while, so that the signal outlives the setter.
int SetEventA(const Args& a) {
  const DWORD hold = a.Ms(1);
  HANDLE event = NarrowEvent(a[0]);
  if (!event || !SetEvent(event)) return Fail("cannot set the event");
  Print("SET");
  Sleep(hold);
  return kOk;
}

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

// Backslash escapes, so that a reason can carry control characters and surrogates on a command
// line: \r \n \t \\ \uXXXX.
std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\\') {
      out.push_back(text[i]);
      continue;
    }
    switch (i + 1 < text.size() ? text[++i] : L'\0') {
      case L'r': out.push_back(L'\r'); break;
      case L'n': out.push_back(L'\n'); break;
      case L't': out.push_back(L'\t'); break;
      case L'\\': out.push_back(L'\\'); break;
      case L'u':
        if (i + 4 >= text.size()) throw BadUsage{};
        out.push_back(static_cast<wchar_t>(Args{{L"0x" + text.substr(i + 1, 4)}}.Num(0, 0xFFFF)));
        i += 4;
        break;
      default: throw BadUsage{};
    }
  }
  return out;
}

constexpr const wchar_t* kAnswerEvents[] = {channel::kStartEventName, channel::kExpireEventName,
                                            channel::kForbidEventName};

// Opens (never creates) the service's answer events; false when the service has not made them.
bool OpenAnswerEvents(HANDLE (&events)[3]) {
  for (int i = 0; i < 3; ++i) {
    events[i] = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAnswerEvents[i]);
    if (!events[i]) {
      Fail("OpenEventW " + ToUtf8(kAnswerEvents[i]));
      return false;
    }
  }
  return true;
}

// Prints the first answer in the tray's order (START, EXPIRE, FORBID), or TIMEOUT.
int WaitAnswer(HANDLE (&events)[3], DWORD timeout) {
  const DWORD wait = WaitForMultipleObjects(3, events, FALSE, timeout);
  if (wait == WAIT_TIMEOUT) {
    Print("TIMEOUT");
    return kNotFound;
  }
  if (wait >= WAIT_OBJECT_0 + 3) return Fail("WaitForMultipleObjects");
  static const char* const kAnswers[] = {"START", "EXPIRE", "FORBID"};
  Print(kAnswers[wait - WAIT_OBJECT_0]);
  return kOk;
}

int ServiceRequest(const Args& a) {
  const std::wstring reason = Unescape(a[1]);
  const bool atLogin = a.Num(2, 1) == 1;
  const auto seconds = static_cast<uint32_t>(a.Num(3, UINT32_MAX));
  const DWORD timeout = a.Ms(4);
  HANDLE events[3];
  if (!OpenAnswerEvents(events)) return kError;
  // As the tray's event thread does at its start: no earlier signal is taken for the answer.
  for (HANDLE event : events) ResetEvent(event);
  InstallTrayPlatform();
  velmora::WriteElevationRequest(a[0], reason, atLogin, seconds);
  velmora::SignalAddToAdmin(atLogin ? velmora::KindAtLogin : velmora::KindPeriod);
  return WaitAnswer(events, timeout);
}

int ServiceWait(const Args& a) {
  const DWORD timeout = a.Ms(0);
  HANDLE events[3];
  if (!OpenAnswerEvents(events)) return kError;
  Print("WAITING");
  return WaitAnswer(events, timeout);
}

int ServiceEmergency(const Args&) {
  InstallTrayPlatform();
  velmora::EventParams params;
  params.name = channel::kEmergencyStartEventName;
  const velmora::Handle event = velmora::Kern().CreateOrOpenEvent(params);
  return event && velmora::Kern().SignalEvent(event) ? kOk : Fail("cannot set EMERGENCYSTART");
}

int ServiceSettings(const Args& a) {
  const bool atLogin = a.Num(3, 1) == 1;
  InstallTrayPlatform();
  velmora::WriteSettingsRecord(velmora::BuildSettingsRecord(a[0], a[1], a[2], atLogin));
  velmora::SignalSaveSettings();
  return kOk;
}

}  // namespace

std::vector<Command> KernelCommands() {
  return {
      {"terminate", "<pid|image> [code] [timeout_ms]", "end processes and wait for them",
       Terminate},
      {"hold", "<mutex|event> <name> <seconds>", "own a mutex or a NULL-DACL event for a while",
       Hold},
      {"object-dacl", "<event|mapping> <name>", "DACL of a named object as SDDL", ObjectDacl},
      {"wait-event-a", "<name> <timeout_ms> [answer-name]", "wait on a shell-hook event, answer",
       WaitEventA},
      {"set-event-a", "<name> <hold_ms>", "set a shell-hook event, keep it alive", SetEventA},
      {"service-request", "<user> <reason> <at-login> <seconds> <timeout_ms>",
       "the tray's request; prints the answer", ServiceRequest},
      {"service-wait", "<timeout_ms>", "first of START, EXPIRE, FORBID", ServiceWait},
      {"service-emergency", "", "set EMERGENCYSTART as the tray does", ServiceEmergency},
      {"service-settings", "<period> <identity> <resuscitate> <at-login>",
       "the settings dialog's record", ServiceSettings},
  };
}

}  // namespace driver
