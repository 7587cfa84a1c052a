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

// An auto-reset event with a NULL DACL, created or opened, as the tray and the shell-hook
// library obtain theirs.
HANDLE OpenToAllEvent(const std::wstring& name) {
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
  return CreateEventW(&attributes, FALSE, FALSE, name.c_str());
}

// Obtains a name as its owner would and keeps it for a while: a mutex, or an event, which
// "signalled-event" also sets, so that the signal outlives the setter. "HELD" once it is held.
int Hold(const Args& a) {
  const std::wstring& kind = a[0];
  if (kind != L"mutex" && kind != L"event" && kind != L"signalled-event") throw BadUsage{};
  const DWORD ms = a.Ms(2);
  HANDLE object =
      kind == L"mutex" ? CreateMutexW(nullptr, TRUE, a[1].c_str()) : OpenToAllEvent(a[1]);
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!object || (kind == L"signalled-event" && !SetEvent(object))) {
    return Fail("cannot hold " + ToUtf8(a[1]));
  }
  Print(existed ? "HELD existing" : "HELD");
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
  Print(ToUtf8(sddl));
  return kOk;
}

// "WAITING" once the event is held (a signal from then on is kept), "SIGNALLED" when it comes,
// then sets the answer event ("ANSWERED").
int WaitEvent(const Args& a) {
  const DWORD timeout = a.Ms(1);
  HANDLE event = OpenToAllEvent(a[0]);
  if (!event) return Fail("CreateEventW");
  Print("WAITING");
  const DWORD wait = WaitForSingleObject(event, timeout);
  if (wait != WAIT_OBJECT_0) return wait == WAIT_TIMEOUT ? kNotFound : Fail("WaitForSingleObject");
  Print("SIGNALLED");
  if (a.size() < 3) return kOk;
  HANDLE answer = OpenToAllEvent(a[2]);
  if (!answer || !SetEvent(answer)) return Fail("cannot set the answer event");
  Print("ANSWERED");
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
  const bool atLogin = a.Num(2, 1) == 1;
  const auto seconds = static_cast<uint32_t>(a.Num(3, UINT32_MAX));
  const DWORD timeout = a.Ms(4);
  HANDLE events[3];
  if (!OpenAnswerEvents(events)) return kError;
  // As the tray's event thread does at its start: no earlier signal is taken for the answer.
  for (HANDLE event : events) ResetEvent(event);
  InstallTrayPlatform();
  velmora::WriteElevationRequest(a[0], a[1], atLogin, seconds);
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
      {"hold", "<mutex|event|signalled-event> <name> <ms>", "own a name for a while", Hold},
      {"object-dacl", "<event|mapping> <name>", "DACL of a named object as SDDL", ObjectDacl},
      {"wait-event", "<name> <timeout_ms> [answer-name]", "wait on an event, then set another",
       WaitEvent},
      {"service-request", "<user> <reason> <at-login> <seconds> <timeout_ms>",
       "the tray's request; prints the answer", ServiceRequest},
      {"service-wait", "<timeout_ms>", "first of START, EXPIRE, FORBID", ServiceWait},
      {"service-emergency", "", "set EMERGENCYSTART as the tray does", ServiceEmergency},
      {"service-settings", "<period> <identity> <resuscitate> <at-login>",
       "the settings dialog's record", ServiceSettings},
  };
}

}  // namespace driver
