#include "win32/win32_service_host.h"

#include <lm.h>
#include <wtsapi32.h>

#include <memory>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_code_page.h"

namespace velmora::service {
namespace {

constexpr wchar_t kProductKey[] = L"Software\\Ostrand\\Velmora";
constexpr wchar_t kServiceKey[] = L"Software\\Ostrand\\Velmora\\Service";
constexpr wchar_t kElevatedUsersValue[] = L"ElevatedUsers";
constexpr wchar_t kMembersBeforeGrantValue[] = L"MembersBeforeGrant";
constexpr wchar_t kEventSource[] = L"VelmoraFrameworkService";
constexpr wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VelmoraFrameworkService";
// Identifiers of service_messages.mc.
constexpr DWORD kEventIds[] = {1, 2, 3};

// wchar_t is 16 bits on Windows: the units carry over one to one.
std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string Units(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring Wide(const char16_t* text) { return Wide(std::u16string(text)); }

struct NetApiBufferDeleter {
  void operator()(void* p) const { NetApiBufferFree(p); }
};
struct WtsMemoryDeleter {
  void operator()(void* p) const { WTSFreeMemory(p); }
};

std::wstring SessionText(DWORD session, WTS_INFO_CLASS what) {
  LPWSTR text = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &text, &bytes)) {
    return {};
  }
  const std::unique_ptr<wchar_t, WtsMemoryDeleter> owner(text);
  return text != nullptr ? std::wstring(text) : std::wstring();
}

std::vector<std::u16string> LoadUserList(const wchar_t* valueName) {
  std::vector<std::u16string> users;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) !=
      ERROR_SUCCESS) {
    return users;
  }
  const UniqueRegKey key(raw);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ) {
    return users;
  }
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  if (RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS) {
    return users;
  }
  // Stored data need not end in NULs: the entries are cut out of a bounded copy.
  const std::wstring all(data.data(), size / sizeof(wchar_t));
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find(L'\0', start);
    if (end == std::wstring::npos) end = all.size();
    if (end == start) break;
    users.push_back(Units(all.substr(start, end - start)));
    start = end + 1;
  }
  return users;
}

bool SaveUserList(const wchar_t* valueName, const std::vector<std::u16string>& users) {
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueRegKey key(raw);
  if (users.empty()) {
    const LSTATUS result = RegDeleteValueW(key.get(), valueName);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
  }
  std::wstring data;
  for (const std::u16string& user : users) {
    data += Wide(user);
    data.push_back(L'\0');
  }
  data.push_back(L'\0');
  return RegSetValueExW(key.get(), valueName, 0, REG_MULTI_SZ,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool EqualNames(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

DWORD Win32ServiceHost::Initialize() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sid);
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use{};
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) ||
      !LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
    const DWORD error = GetLastError();
    log_.Write("Group. Cannot find the Administrators group (S-1-5-32-544): error " +
               std::to_string(error) + ".");
    return error;
  }
  administrators_.assign(name, nameLength);
  OpenAuditSource();
  log_.Write("Group. The Administrators group (S-1-5-32-544) is named \"" + ToUtf8(administrators_) +
             "\" here.");
  return ERROR_SUCCESS;
}

// The source names the program itself as its message file, so that the event viewer shows the
// lines; registering again at every start follows the program when it moves.
void Win32ServiceHost::OpenAuditSource() {
  wchar_t program[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  HKEY raw = nullptr;
  if (length > 0 && length < MAX_PATH &&
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &raw, nullptr) == ERROR_SUCCESS) {
    const UniqueRegKey key(raw);
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(program), (length + 1) * sizeof(wchar_t));
    RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&types), sizeof(types));
  }
  eventSource_ = RegisterEventSourceW(nullptr, kEventSource);
  log_.Write(eventSource_ != nullptr
                 ? "Audit. Grants, ends and refusals also go to the Windows event log (Application, "
                   "source VelmoraFrameworkService)."
                 : "Audit. Cannot open the Windows event log: error " +
                       std::to_string(GetLastError()) + ".");
}

void Win32ServiceHost::ReportAudit(AuditEvent kind, const std::string& line) {
  if (eventSource_ == nullptr) return;
  const std::wstring text = MultiByteToWide(CP_UTF8, line);
  const wchar_t* strings[] = {text.c_str()};
  const WORD type = kind == AuditEvent::kRefusal ? EVENTLOG_WARNING_TYPE
                                                 : EVENTLOG_INFORMATION_TYPE;
  if (!ReportEventW(eventSource_, type, 0, kEventIds[static_cast<int>(kind)], nullptr, 1, 0,
                    strings, nullptr) &&
      !eventFailed_) {
    eventFailed_ = true;
    log_.Write("Audit. Writing to the Windows event log failed: error " +
               std::to_string(GetLastError()) + "; the service's log still has every line.");
  }
}

uint64_t Win32ServiceHost::NowMs() { return GetTickCount64(); }

void Win32ServiceHost::Log(const std::string& line) { log_.Write(line); }

void Win32ServiceHost::Signal(Answer answer) {
  const ChannelObjects::EventId id = answer == Answer::kStart    ? ChannelObjects::kStart
                                     : answer == Answer::kExpire ? ChannelObjects::kExpire
                                                                 : ChannelObjects::kForbid;
  if (!SetEvent(objects_.Event(id))) {
    log_.Write("Objects. SetEvent failed: error " + std::to_string(GetLastError()) + ".");
  }
}

SessionList Win32ServiceHost::SessionUsers(bool activeOnly) {
  SessionList list;
  PWTS_SESSION_INFOW sessions = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
    log_.Write("Identity. WTSEnumerateSessionsW failed: error " + std::to_string(GetLastError()) +
               ".");
    return list;
  }
  const std::unique_ptr<WTS_SESSION_INFOW, WtsMemoryDeleter> owner(sessions);
  // Windows always lists at least the services' session 0; an empty list is a stub (Wine),
  // whose per-session queries answer the caller's own name for any session number.
  if (count == 0 || sessions == nullptr) {
    list.kind = SessionList::Kind::kNotListed;
    return list;
  }
  list.kind = SessionList::Kind::kListed;
  std::vector<std::u16string>& users = list.users;
  for (DWORD i = 0; i < count; ++i) {
    if (activeOnly && sessions[i].State != WTSActive) continue;
    const std::wstring user = SessionText(sessions[i].SessionId, WTSUserName);
    if (user.empty()) continue;
    const std::wstring domain = SessionText(sessions[i].SessionId, WTSDomainName);
    users.push_back(Units(domain + L"\\" + user));
  }
  return list;
}

std::optional<bool> Win32ServiceHost::IsAdministrator(const std::u16string& user) {
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  const std::wstring name = Wide(user);
  // LG_INCLUDE_INDIRECT: membership through a domain group counts.
  const NET_API_STATUS result = NetUserGetLocalGroups(nullptr, name.c_str(), 0, LG_INCLUDE_INDIRECT,
                                                      &buffer, MAX_PREFERRED_LENGTH, &read, &total);
  const std::unique_ptr<BYTE, NetApiBufferDeleter> owner(buffer);
  if (result != NERR_Success || buffer == nullptr) return std::nullopt;
  const auto* groups = reinterpret_cast<const LOCALGROUP_USERS_INFO_0*>(buffer);
  for (DWORD i = 0; i < read; ++i) {
    if (groups[i].lgrui0_name != nullptr && EqualNames(groups[i].lgrui0_name, administrators_)) {
      return true;
    }
  }
  return false;
}

std::u16string Win32ServiceHost::ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length)) return {};
  return Units(std::wstring(name, length));
}

bool Win32ServiceHost::SameName(const std::u16string& a, const std::u16string& b) {
  return EqualNames(Wide(a), Wide(b));
}

uint32_t Win32ServiceHost::AddToAdministrators(const std::u16string& user) {
  std::wstring name = Wide(user);
  LOCALGROUP_MEMBERS_INFO_3 member{name.data()};
  return NetLocalGroupAddMembers(nullptr, administrators_.c_str(), 3,
                                 reinterpret_cast<LPBYTE>(&member), 1);
}

uint32_t Win32ServiceHost::RemoveFromAdministrators(const std::u16string& user) {
  std::wstring name = Wide(user);
  LOCALGROUP_MEMBERS_INFO_3 member{name.data()};
  return NetLocalGroupDelMembers(nullptr, administrators_.c_str(), 3,
                                 reinterpret_cast<LPBYTE>(&member), 1);
}

std::optional<bool> Win32ServiceHost::AdministratorsListed(const std::u16string& user) {
  const std::wstring name = Wide(user);
  DWORD_PTR resume = 0;
  NET_API_STATUS result = 0;
  do {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    result = NetLocalGroupGetMembers(nullptr, administrators_.c_str(), 3, &buffer,
                                     MAX_PREFERRED_LENGTH, &read, &total, &resume);
    const std::unique_ptr<BYTE, NetApiBufferDeleter> owner(buffer);
    if ((result != NERR_Success && result != ERROR_MORE_DATA) || buffer == nullptr) {
      return result == NERR_Success ? std::optional<bool>(false) : std::nullopt;
    }
    const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
      if (members[i].lgrmi3_domainandname != nullptr &&
          EqualNames(members[i].lgrmi3_domainandname, name)) {
        return true;
      }
    }
  } while (result == ERROR_MORE_DATA);
  return false;
}

std::optional<uint32_t> Win32ServiceHost::ReadServiceDword(const char16_t* name) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  const UniqueRegKey key(raw);
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExW(key.get(), Wide(name).c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

bool Win32ServiceHost::HasServiceValue(const char16_t* name) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) !=
      ERROR_SUCCESS) {
    return false;
  }
  const UniqueRegKey key(raw);
  return RegQueryValueExW(key.get(), Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

RequestPolicy Win32ServiceHost::ReadRequestPolicy() { return service::ReadRequestPolicy(); }

uint32_t Win32ServiceHost::WriteSettingDword(const char16_t* name, uint32_t value) {
  HKEY raw = nullptr;
  LSTATUS result =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &raw, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  const UniqueRegKey key(raw);
  const DWORD data = value;
  result = RegSetValueExW(key.get(), Wide(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof(data));
  return static_cast<uint32_t>(result);
}

std::vector<std::u16string> Win32ServiceHost::LoadElevatedUsers() {
  return LoadUserList(kElevatedUsersValue);
}

bool Win32ServiceHost::SaveElevatedUsers(const std::vector<std::u16string>& users) {
  return SaveUserList(kElevatedUsersValue, users);
}

std::vector<std::u16string> Win32ServiceHost::LoadMembersBeforeGrant() {
  return LoadUserList(kMembersBeforeGrantValue);
}

bool Win32ServiceHost::SaveMembersBeforeGrant(const std::vector<std::u16string>& users) {
  return SaveUserList(kMembersBeforeGrantValue, users);
}

}  // namespace velmora::service
