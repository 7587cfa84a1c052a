// The system behind ServiceLogic: the Administrators group through the network management
// functions, logon sessions through the terminal services functions, the registry's 64-bit
// view, the channel's answer events and the log.
#pragma once

#include <windows.h>

#include <string>

#include "service_logic.h"
#include "win32/channel_objects.h"
#include "win32/service_log.h"

namespace velmora::service {

class Win32ServiceHost final : public ServiceHost {
 public:
  Win32ServiceHost(ServiceLog& log, const ChannelObjects& objects) : log_(log), objects_(objects) {}

  // Finds the local name of the Administrators group by its well-known SID (S-1-5-32-544); the
  // name differs by language. Returns 0 or the Win32 error, after logging. Registers the
  // service's event source (a failure there is logged, not fatal).
  DWORD Initialize();

  uint64_t NowMs() override;
  void Log(const std::string& line) override;
  void ReportAudit(AuditEvent kind, const std::string& line) override;
  void Signal(Answer answer) override;
  SessionList SessionUsers(bool activeOnly) override;
  std::optional<bool> IsAdministrator(const std::u16string& user) override;
  std::u16string ComputerName() override;
  bool SameName(const std::u16string& a, const std::u16string& b) override;
  uint32_t AddToAdministrators(const std::u16string& user) override;
  uint32_t RemoveFromAdministrators(const std::u16string& user) override;
  std::optional<bool> AdministratorsListed(const std::u16string& user) override;
  std::optional<uint32_t> ReadServiceDword(const char16_t* name) override;
  bool HasServiceValue(const char16_t* name) override;
  RequestPolicy ReadRequestPolicy() override;
  uint32_t WriteSettingDword(const char16_t* name, uint32_t value) override;
  std::vector<std::u16string> LoadElevatedUsers() override;
  bool SaveElevatedUsers(const std::vector<std::u16string>& users) override;
  std::vector<std::u16string> LoadMembersBeforeGrant() override;
  bool SaveMembersBeforeGrant(const std::vector<std::u16string>& users) override;

 private:
  void OpenAuditSource();

  ServiceLog& log_;
  const ChannelObjects& objects_;
  std::wstring administrators_;
  HANDLE eventSource_ = nullptr;  // never closed: the process ends with it
  bool eventFailed_ = false;
};

}  // namespace velmora::service
