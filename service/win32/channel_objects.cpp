#include "win32/channel_objects.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <string>

namespace velmora::service {
namespace {

// EVENT_ALL_ACCESS (0x1F0003) and FILE_MAP_ALL_ACCESS (0xF001F): what CreateEventW and
// OpenFileMappingW ask for on an existing object; no less works for the tray.
constexpr wchar_t kEventSddl[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1F0003;;;IU)";
constexpr wchar_t kMappingSddl[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0xF001F;;;IU)";

struct LocalFreeDeleter {
  void operator()(void* p) const { LocalFree(p); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

SecurityDescriptor FromSddl(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    return nullptr;
  }
  return SecurityDescriptor(sd);
}

std::string Name(const wchar_t* name) { return ToUtf8(name); }

std::string ErrorText(DWORD error) {
  std::string text = "error " + std::to_string(error);
  if (error == ERROR_INVALID_HANDLE) text += " (the name belongs to another kind of object)";
  if (error == ERROR_ACCESS_DENIED) text += " (someone else's object denies access)";
  return text;
}

std::string SidText(PSID sid) {
  if (sid == nullptr) return "none";
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "unreadable";
  const std::string out = ToUtf8(text);
  LocalFree(text);
  return out;
}

// An object that existed before this run: accepted only from SYSTEM or Administrators, who
// alone can own it besides its squatter. Its DACL is replaced by ours, so that whatever an
// interactive user changed with the WRITE_DAC that the tray's open needs is undone.
DWORD AdoptExisting(HANDLE object, const wchar_t* name, PSECURITY_DESCRIPTOR sd, ServiceLog& log) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR current = nullptr;
  const DWORD read = GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                     nullptr, nullptr, nullptr, &current);
  const SecurityDescriptor currentOwner(current);
  const bool ours = read == ERROR_SUCCESS && owner != nullptr && IsValidSid(owner) &&
                    (IsWellKnownSid(owner, WinLocalSystemSid) ||
                     IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  if (!ours) {
    log.Write("Objects. " + Name(name) +
              " already exists and was not created by the service (owner " +
              (read == ERROR_SUCCESS ? SidText(owner) : "unreadable") + "): refusing to serve.");
    return ERROR_ALREADY_EXISTS;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  const DWORD set = SetSecurityInfo(object, SE_KERNEL_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, dacl, nullptr);
  if (set != ERROR_SUCCESS) {
    log.Write("Objects. " + Name(name) +
              " was left by an earlier run but its DACL cannot be "
              "reset: " +
              ErrorText(set) + ": refusing to serve.");
    return set;
  }
  log.Write("Objects. Reusing " + Name(name) + ", left by an earlier run of the service (owner " +
            SidText(owner) + "); DACL reset.");
  return ERROR_SUCCESS;
}

// CreateEventW and CreateFileMappingW answer an existing name with its handle and
// ERROR_ALREADY_EXISTS; a name taken by another kind of object fails outright.
DWORD Checked(HANDLE object, const wchar_t* name, PSECURITY_DESCRIPTOR sd, ServiceLog& log) {
  const DWORD error = GetLastError();
  if (object == nullptr) {
    log.Write("Objects. Cannot create " + Name(name) + ": " + ErrorText(error) +
              ": refusing to serve.");
    return error == ERROR_SUCCESS ? ERROR_INVALID_HANDLE : error;
  }
  if (error == ERROR_ALREADY_EXISTS) return AdoptExisting(object, name, sd, log);
  log.Write("Objects. Created " + Name(name) + ".");
  return ERROR_SUCCESS;
}

}  // namespace

ChannelObjects::~ChannelObjects() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
}

DWORD ChannelObjects::Create(ServiceLog& log) {
  const SecurityDescriptor eventSd = FromSddl(kEventSddl);
  const SecurityDescriptor mappingSd = FromSddl(kMappingSddl);
  if (!eventSd || !mappingSd) {
    const DWORD error = GetLastError();
    log.Write("Objects. Cannot build the security descriptors: error " + std::to_string(error) +
              ".");
    return error;
  }
  SECURITY_ATTRIBUTES mappingAttributes{sizeof(SECURITY_ATTRIBUTES), mappingSd.get(), FALSE};
  mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, &mappingAttributes, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(channel::kElevationRequestSize),
                                    channel::kSharedBlockName));
  DWORD error = Checked(mapping_.get(), channel::kSharedBlockName, mappingSd.get(), log);
  if (error != ERROR_SUCCESS) return error;
  // Read-only: the service never writes the block, so nothing it does can alter a request.
  view_ = MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, channel::kElevationRequestSize);
  if (view_ == nullptr) {
    error = GetLastError();
    log.Write("Objects. Cannot map " + Name(channel::kSharedBlockName) + ": error " +
              std::to_string(error) + ".");
    return error;
  }

  static constexpr const wchar_t* kNames[kCount] = {
      channel::kStartEventName,      channel::kExpireEventName,
      channel::kForbidEventName,     channel::kEmergencyStartEventName,
      channel::kAddToAdminEventName, channel::kSaveSettingsEventName,
  };
  SECURITY_ATTRIBUTES eventAttributes{sizeof(SECURITY_ATTRIBUTES), eventSd.get(), FALSE};
  for (int i = 0; i < kCount; ++i) {
    events_[i].reset(CreateEventW(&eventAttributes, FALSE, FALSE, kNames[i]));
    error = Checked(events_[i].get(), kNames[i], eventSd.get(), log);
    if (error != ERROR_SUCCESS) return error;
  }
  // Signals raised while no service ran have nobody's request behind them: the tray asks only
  // while the service reports SERVICE_RUNNING, which it does after this.
  ResetEvent(Event(kEmergencyStart));
  ResetEvent(Event(kAddToAdmin));
  ResetEvent(Event(kSaveSettings));
  return ERROR_SUCCESS;
}

channel::ElevationRequest ChannelObjects::ReadElevationRequest() const {
  channel::ElevationRequest record{};
  std::memcpy(record.data(), view_, record.size());
  return record;
}

channel::SettingsRecord ChannelObjects::ReadSettingsRecord() const {
  channel::SettingsRecord record{};
  std::memcpy(record.data(), view_, record.size());
  return record;
}

}  // namespace velmora::service
