#include "platform/win32/win32_accounts.h"

#include <windows.h>
#include <lm.h>
#define SECURITY_WIN32
#include <security.h>

#include <algorithm>

namespace velmora {
namespace {

// The text of a fixed buffer up to its NUL, never past its end.
std::wstring FromBuffer(const wchar_t* buffer, size_t capacity) {
  return std::wstring(buffer, std::find(buffer, buffer + capacity, L'\0'));
}

// The member buffer is released on every path, success or not.
class NetApiBuffer {
 public:
  NetApiBuffer() = default;
  ~NetApiBuffer() {
    if (buffer_ != nullptr) ::NetApiBufferFree(buffer_);
  }
  NetApiBuffer(const NetApiBuffer&) = delete;
  NetApiBuffer& operator=(const NetApiBuffer&) = delete;
  LPBYTE* receive() { return &buffer_; }
  LPBYTE get() const { return buffer_; }

 private:
  LPBYTE buffer_ = nullptr;
};

}  // namespace

bool Win32Accounts::AdministratorsGroupName(std::wstring* name) {
  BYTE sid[256] = {};
  DWORD sidSize = sizeof(sid);
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize)) return false;
  wchar_t account[256] = {};
  wchar_t domain[256] = {};
  DWORD accountChars = 256;
  DWORD domainChars = 256;
  SID_NAME_USE use = SidTypeUnknown;
  if (!::LookupAccountSidW(nullptr, sid, account, &accountChars, domain, &domainChars, &use)) {
    return false;
  }
  *name = FromBuffer(account, 256);
  return true;
}

bool Win32Accounts::LocalGroupMembers(const std::wstring& group,
                                      std::vector<std::wstring>* members) {
  NetApiBuffer buffer;
  DWORD read = 0;
  DWORD total = 0;
  const NET_API_STATUS status =
      ::NetLocalGroupGetMembers(nullptr, group.c_str(), 3, buffer.receive(),
                                MAX_PREFERRED_LENGTH, &read, &total, nullptr);
  if (status != NERR_Success) return false;
  const auto* entries = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buffer.get());
  for (DWORD i = 0; i < read && entries != nullptr; ++i) {
    const wchar_t* member = entries[i].lgrmi3_domainandname;
    members->push_back(member != nullptr ? std::wstring(member) : std::wstring());
  }
  return true;
}

bool Win32Accounts::UserName(std::wstring* name) {
  wchar_t buffer[300] = {};
  DWORD chars = 300;
  if (!::GetUserNameW(buffer, &chars)) return false;
  *name = FromBuffer(buffer, 300);
  return true;
}

// secur32 is loaded only when a display name is wanted: loading it starts the system's security
// packages, which cost the tray several megabytes at every start for a name most deployments
// never show. It is loaded from the system folder by full path, never by the search order.
bool Win32Accounts::DisplayName(std::wstring* name) {
  using GetUserNameExWFn = BOOLEAN(WINAPI*)(EXTENDED_NAME_FORMAT, LPWSTR, PULONG);
  static GetUserNameExWFn getUserNameEx = []() -> GetUserNameExWFn {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\secur32.dll";
    HMODULE module = ::LoadLibraryW(path.c_str());
    if (module == nullptr) return nullptr;
    return reinterpret_cast<GetUserNameExWFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "GetUserNameExW")));
  }();
  if (getUserNameEx == nullptr) return false;
  wchar_t buffer[600] = {};
  ULONG chars = 600;
  if (!getUserNameEx(NameDisplay, buffer, &chars)) return false;
  *name = FromBuffer(buffer, 600);
  return true;
}

}  // namespace velmora
