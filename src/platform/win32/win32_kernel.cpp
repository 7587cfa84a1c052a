#include "platform/win32/win32_kernel.h"

#include <objbase.h>
#include <windows.h>

#include <ntsecapi.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_code_page.h"

namespace velmora {

static_assert(std::is_same<HANDLE, Handle>::value, "the seam's Handle must be a HANDLE");
static_assert(WAIT_TIMEOUT == win::kWaitTimeout && WAIT_FAILED == win::kWaitFailed &&
                  WAIT_OBJECT_0 == win::kWaitObject0,
              "wait results cross the seam unchanged");
static_assert(FILE_MAP_WRITE == kern::kFileMapWrite && FILE_MAP_ALL_ACCESS == kern::kFileMapAllAccess,
              "file-map access bits cross the seam unchanged");
static_assert(sizeof(void*) != 4 || sizeof(SECURITY_ATTRIBUTES) == 12,
              "the 32-bit release passes the 12-byte attributes the service expects");

namespace {

using ThreadBody = std::function<void()>;

DWORD WINAPI ThreadEntry(LPVOID parameter) {
  std::unique_ptr<ThreadBody> body(static_cast<ThreadBody*>(parameter));
  (*body)();
  return 0;
}

}  // namespace

Handle Win32Kernel::CreateOrOpenEvent(const EventParams& event) {
  // A present but NULL DACL grants everyone access: the service creates some of these events
  // in another session and every process of the user must still be able to open them.
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof(attributes);
  attributes.bInheritHandle = FALSE;
  attributes.lpSecurityDescriptor = nullptr;
  if (event.nullDacl) {
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
      return nullptr;
    }
    attributes.lpSecurityDescriptor = &descriptor;
  }
  if (event.narrowName) {
    // CreateEventA turns the name back into UTF-16 with the process ANSI code page (CP_ACP),
    // so the same code page must produce it.
    const std::string name = WideToMultiByte(CP_ACP, event.name);
    return ::CreateEventA(&attributes, event.manualReset, event.initialState,
                          name.empty() ? nullptr : name.c_str());
  }
  return ::CreateEventW(&attributes, event.manualReset, event.initialState,
                        event.name.empty() ? nullptr : event.name.c_str());
}

bool Win32Kernel::SignalEvent(Handle event) { return ::SetEvent(event) != FALSE; }

bool Win32Kernel::ResetEvent(Handle event) { return ::ResetEvent(event) != FALSE; }

uint32_t Win32Kernel::WaitForAny(const Handle* handles, size_t count, uint32_t timeoutMs) {
  // A count above the limit must fail as the API would, not wrap into a small DWORD.
  if (count > static_cast<size_t>(MAXIMUM_WAIT_OBJECTS)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return ::WaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE, timeoutMs);
}

Handle Win32Kernel::CreateNamedMutex(const std::wstring& name, bool initialOwner) {
  return ::CreateMutexW(nullptr, initialOwner, name.c_str());
}

bool Win32Kernel::ReleaseNamedMutex(Handle mutex) { return ::ReleaseMutex(mutex) != FALSE; }

Handle Win32Kernel::OpenNamedFileMapping(const std::wstring& name, uint32_t access) {
  return ::OpenFileMappingW(access, FALSE, name.c_str());
}

void* Win32Kernel::MapView(Handle mapping, uint32_t access, size_t length) {
  return ::MapViewOfFile(mapping, access, 0, 0, length);
}

bool Win32Kernel::FlushView(void* view, size_t length) {
  return ::FlushViewOfFile(view, length) != FALSE;
}

bool Win32Kernel::UnmapView(void* view) { return ::UnmapViewOfFile(view) != FALSE; }

void Win32Kernel::CloseHandle(Handle handle) { ::CloseHandle(handle); }

bool Win32Kernel::StartDetachedThread(std::function<void()> body) {
  auto owned = std::make_unique<ThreadBody>(std::move(body));
  UniqueKernelHandle thread(::CreateThread(nullptr, 0, &ThreadEntry, owned.get(), 0, nullptr));
  if (!thread) return false;
  // The thread owns the body from here; the handle closes when `thread` goes.
  static_cast<void>(owned.release());
  return true;
}

void Win32Kernel::Sleep(uint32_t ms) { ::Sleep(ms); }

uint32_t Win32Kernel::TickCount() { return ::GetTickCount(); }

uint32_t Win32Kernel::LastError() { return ::GetLastError(); }

void Win32Kernel::SetLastError(uint32_t error) { ::SetLastError(error); }

void Win32Kernel::InitializeCom() { static_cast<void>(::CoInitialize(nullptr)); }

void Win32Kernel::UninitializeCom() { ::CoUninitialize(); }

void Win32Kernel::SetThreadLocale(uint32_t lcid) { ::SetThreadLocale(lcid); }

void Win32Kernel::SetThreadUILanguage(uint16_t langId) { ::SetThreadUILanguage(langId); }

std::wstring Win32Kernel::CommandLine() {
  const wchar_t* line = ::GetCommandLineW();
  return line != nullptr ? std::wstring(line) : std::wstring();
}

bool Win32Kernel::ComputerName(std::wstring* name) {
  wchar_t buffer[200] = {};
  DWORD chars = 200;
  if (!::GetComputerNameW(buffer, &chars) || chars >= 200) return false;
  *name = std::wstring(buffer, chars);
  return true;
}

uint32_t Win32Kernel::RandomNumber() {
  uint32_t value = 0;
  // RtlGenRandom (advapi32's SystemFunction036): the generator rand_s is built on. Should it
  // fail, the tick count still gives a different number from one call to the next tick.
  if (!::RtlGenRandom(&value, sizeof(value))) value = ::GetTickCount();
  return value;
}

}  // namespace velmora
