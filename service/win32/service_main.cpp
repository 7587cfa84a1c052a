// Program entry of VelmoraFrameworkService: a Windows service of its own process. ServiceMain's
// thread (started by the dispatcher) is the worker: it creates the channel's objects, then
// waits for the stop event, the tray's requests and the end of the running elevation. The
// control handler only records a stop and wakes the worker.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "platform/win32/safe_dll_search.h"
#include "platform/platform.h"
#include "platform/win32/no_destructor.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_code_page.h"
#include "platform/win32/win32_kernel.h"
#include "platform/win32/win32_registry.h"
#include "log_text.h"
#include "service_logic.h"
#include "settings/settings_store.h"
#include "version.h"
#include "win32/channel_objects.h"
#include "win32/service_log.h"
#include "win32/win32_service_host.h"

namespace velmora::service {
namespace {

constexpr wchar_t kServiceName[] = L"VelmoraFrameworkService";
// A wake at least this often re-reads the clock: waits stop counting while the machine
// sleeps, the end of an elevation must not.
constexpr DWORD kLongestWaitMs = 60'000;
constexpr DWORD kWaitFailureBackoffMs = 1'000;

ServiceLog& Log() {
  // Never destroyed: the dispatcher's threads may still log while the runtime exits.
  static ServiceLog* log = new ServiceLog();
  return *log;
}

class StatusReporter {
 public:
  void Attach(SERVICE_STATUS_HANDLE handle) { handle_ = handle; }

  void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) {
    std::lock_guard<std::mutex> guard(lock_);
    if (handle_ == nullptr) return;
    // Once stopping, the service never reports itself running again.
    if (status_.dwCurrentState == SERVICE_STOP_PENDING && state == SERVICE_RUNNING) return;
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = state;
    // Controls only while running: a stop during start-up waits until the objects exist.
    status_.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status_.dwWin32ExitCode = exitCode;
    status_.dwServiceSpecificExitCode = 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status_.dwCheckPoint = pending ? ++checkPoint_ : 0;
    status_.dwWaitHint = pending ? waitHintMs : 0;
    SetServiceStatus(handle_, &status_);
  }

 private:
  std::mutex lock_;
  SERVICE_STATUS_HANDLE handle_ = nullptr;
  SERVICE_STATUS status_{};
  DWORD checkPoint_ = 0;
};

StatusReporter g_status;
HANDLE g_stopEvent = nullptr;
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_systemShutdown{false};

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_STOP:
      g_systemShutdown = control == SERVICE_CONTROL_SHUTDOWN;
      g_stopRequested = true;
      g_status.Report(SERVICE_STOP_PENDING, NO_ERROR, 10'000);
      SetEvent(g_stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void Serve(ServiceLogic& logic, const ChannelObjects& objects) {
  const HANDLE handles[] = {
      g_stopEvent,
      // Before the requests: ending an elevation must not wait behind a flood of requests.
      objects.Event(ChannelObjects::kEmergencyStart),
      objects.Event(ChannelObjects::kAddToAdmin),
      objects.Event(ChannelObjects::kSaveSettings),
  };
  bool waitFailing = false;
  while (!g_stopRequested) {
    DWORD timeout = INFINITE;
    if (const std::optional<uint64_t> due = logic.NextDueInMs()) {
      timeout = static_cast<DWORD>(*due < kLongestWaitMs ? *due : kLongestWaitMs);
    }
    const DWORD result = WaitForMultipleObjects(4, handles, FALSE, timeout);
    if (result == WAIT_FAILED) {
      if (!waitFailing) {
        Log().Write("Service. Waiting failed: error " + std::to_string(GetLastError()) +
                    "; retrying every second.");
      }
      waitFailing = true;
      Sleep(kWaitFailureBackoffMs);
    } else {
      if (waitFailing) Log().Write("Service. Waiting works again.");
      waitFailing = false;
      if (result == WAIT_OBJECT_0) break;
      const auto serve = [&](DWORD index) {
        if (index == 1) logic.OnEmergencyStart();
        if (index == 2) logic.OnElevationRequest(objects.ReadElevationRequest());
        if (index == 3) logic.OnSettingsRecord(objects.ReadSettingsRecord());
      };
      // The wait always answers the lowest signalled index, so a flood of EMERGENCYSTART would
      // starve the requests: each round serves every signalled event once.
      if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + 4) {
        serve(result - WAIT_OBJECT_0);
        for (DWORD other = 1; other < 4; ++other) {
          if (other != result - WAIT_OBJECT_0 &&
              WaitForSingleObject(handles[other], 0) == WAIT_OBJECT_0) {
            serve(other);
          }
        }
      }
    }
    logic.OnTimer();
  }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  const SERVICE_STATUS_HANDLE handle =
      RegisterServiceCtrlHandlerExW(kServiceName, ControlHandler, nullptr);
  if (handle == nullptr) {
    Log().Write("Service. RegisterServiceCtrlHandlerExW failed: error " +
                std::to_string(GetLastError()) + ".");
    return;
  }
  g_status.Attach(handle);
  g_status.Report(SERVICE_START_PENDING, NO_ERROR, 10'000);
  Log().Write(std::string("Service. Starting: version ") + VELMORA_VERSION_STRING + ", process " +
              std::to_string(GetCurrentProcessId()) + ", log " + ToUtf8(Log().Path()) + ".");

  Log().Protect();

  UniqueKernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_stopEvent = stopEvent.get();
  DWORD error = stopEvent ? ERROR_SUCCESS : GetLastError();
  // Scoped so that every handle is closed before SERVICE_STOPPED is reported: a new instance
  // started right after must be able to create the names afresh.
  {
    ChannelObjects objects;
    Win32ServiceHost host(Log(), objects);
    if (error == ERROR_SUCCESS) error = objects.Create(Log());
    if (error == ERROR_SUCCESS) error = host.Initialize();
    if (error == ERROR_SUCCESS) {
      ServiceLogic logic(host);
      logic.Start();
      g_status.Report(SERVICE_RUNNING);
      Log().Write("Service. Running.");
      Serve(logic, objects);
      Log().Write(g_systemShutdown ? "Service. Stopping: the system is shutting down."
                                   : "Service. Stopping: stop requested.");
      logic.Stop(g_systemShutdown);
    }
  }
  if (error != ERROR_SUCCESS) {
    Log().Write("Service. Not serving; stopped with exit code " + std::to_string(error) + ".");
  } else {
    Log().Write("Service. Stopped.");
  }
  g_status.Report(SERVICE_STOPPED, error);
}

void LogNumberAsText(const std::wstring& name, int32_t value) {
  static std::mutex lock;
  static std::set<std::wstring> reported;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!reported.insert(name).second) return;
  }
  Log().Write("Settings. The number setting " + Quoted(std::u16string(name.begin(), name.end())) +
              " is stored as text: it reads as " + std::to_string(value) +
              ", the code of its first character.");
}

// The tray's settings code reads the machine's policy for the service: it needs the registry,
// the code page (the managed document) and the kernel (its key owners keep the last error),
// nothing else of the platform.
void InstallSettingsPlatform() {
  SetNumberAsTextNotice(&LogNumberAsText);
  static NoDestructor<Win32Registry> registry;
  static NoDestructor<Win32CodePage> codePage;
  static NoDestructor<Win32Kernel> kernel;
  Platform platform;
  platform.registry = registry.get();
  platform.codePage = codePage.get();
  platform.kernel = kernel.get();
  velmora::InstallPlatform(platform);
}

}  // namespace
}  // namespace velmora::service

int wmain() {
  velmora::RestrictDllSearch();
  velmora::service::InstallSettingsPlatform();
  static wchar_t name[] = L"VelmoraFrameworkService";
  const SERVICE_TABLE_ENTRYW table[] = {{name, velmora::service::ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(table)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      std::fputs(
          "VelmoraFrameworkService runs only as a Windows service; register it with "
          "sc create and start it with sc start.\n",
          stderr);
    }
    return static_cast<int>(error);
  }
  return 0;
}
