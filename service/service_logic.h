// The service's decisions, free of <windows.h>: whom it grants, how a running elevation ends,
// which settings records it stores. The program feeds it the signalled events and a private
// copy of the shared block; everything it needs of the system goes through ServiceHost.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "elevation/channel_records.h"
#include "machine_policy.h"
#include "service_records.h"

namespace velmora::service {

// Win32 status codes that the logic tells apart.
namespace status {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kMemberNotInAlias = 1377;  // ERROR_MEMBER_NOT_IN_ALIAS
inline constexpr uint32_t kMemberInAlias = 1378;     // ERROR_MEMBER_IN_ALIAS
inline constexpr uint32_t kNoSuchMember = 1387;      // ERROR_NO_SUCH_MEMBER
}  // namespace status

// Values of the service's own machine key (Software\Ostrand\Velmora\Service).
inline constexpr char16_t kDenyValue[] = u"Deny";
inline constexpr char16_t kAllowUnverifiedSettingsValue[] = u"AllowUnverifiedSettings";

// A removal that failed is tried again after this long.
inline constexpr uint64_t kRemovalRetryMs = 60'000;
// Refusals logged with their lines per window; the rest are counted, and the counts written
// at most this long after the first of them.
inline constexpr uint32_t kDetailedRefusalsPerWindow = 50;
inline constexpr uint64_t kRefusalWindowMs = 3'600'000;
inline constexpr uint64_t kRefusalSummaryDelayMs = 60'000;

enum class Answer { kStart, kExpire, kForbid };

// What also goes to the Windows event log, beside the service's own log.
enum class AuditEvent { kGrant, kEnd, kRefusal };

// The users of the logon sessions, or why there are none to compare with.
struct SessionList {
  enum class Kind {
    kListed,     // users holds them
    kNotListed,  // the platform lists no sessions at all (Wine): it cannot tell
    kFailed,     // the listing failed: nobody can be vouched for
  };
  Kind kind = Kind::kFailed;
  std::vector<std::u16string> users;
};

class ServiceHost {
 public:
  virtual ~ServiceHost() = default;

  // Milliseconds of a clock that never goes back and keeps counting while the machine sleeps.
  virtual uint64_t NowMs() = 0;
  // One log line, UTF-8, already escaped.
  virtual void Log(const std::string& line) = 0;
  // The same line for the Windows event log.
  virtual void ReportAudit(AuditEvent kind, const std::string& line) = 0;
  virtual void Signal(Answer answer) = 0;

  // "domain\account" of every user with a logon session (only active ones when asked).
  virtual SessionList SessionUsers(bool activeOnly) = 0;
  // Whether the account belongs to the local Administrators group, directly or through a
  // domain group; nothing when that cannot be found out.
  virtual std::optional<bool> IsAdministrator(const std::u16string& user) = 0;
  virtual std::u16string ComputerName() = 0;
  // Account and domain names compare as Windows compares them (case-insensitively).
  virtual bool SameName(const std::u16string& a, const std::u16string& b) = 0;

  // NetLocalGroupAddMembers / NetLocalGroupDelMembers on the Administrators group.
  virtual uint32_t AddToAdministrators(const std::u16string& user) = 0;
  virtual uint32_t RemoveFromAdministrators(const std::u16string& user) = 0;
  // Whether the group's member list names the user; nothing when it cannot be read.
  virtual std::optional<bool> AdministratorsListed(const std::u16string& user) = 0;

  // A REG_DWORD of the service's own key; nothing when missing or of another type.
  virtual std::optional<uint32_t> ReadServiceDword(const char16_t* name) = 0;
  // Whether the service's key holds the value at all, of whatever type.
  virtual bool HasServiceValue(const char16_t* name) = 0;
  // The machine's policy for requests, read afresh.
  virtual RequestPolicy ReadRequestPolicy() = 0;
  // A REG_DWORD of the product key, where the tray reads its settings; a Win32 status.
  virtual uint32_t WriteSettingDword(const char16_t* name, uint32_t value) = 0;

  // The memberships this service added and has not removed yet, kept across a crash.
  virtual std::vector<std::u16string> LoadElevatedUsers() = 0;
  virtual bool SaveElevatedUsers(const std::vector<std::u16string>& users) = 0;
  // Users who were members of Administrators before their grant, kept across a crash so that
  // recovery leaves them in the group.
  virtual std::vector<std::u16string> LoadMembersBeforeGrant() = 0;
  virtual bool SaveMembersBeforeGrant(const std::vector<std::u16string>& users) = 0;
};

class ServiceLogic {
 public:
  explicit ServiceLogic(ServiceHost& host) : host_(host) {}

  // Removes the memberships that an earlier run added and could not remove.
  void Start();
  void OnElevationRequest(const channel::ElevationRequest& record);
  void OnSettingsRecord(const channel::SettingsRecord& record);
  void OnEmergencyStart();
  // Ends a period that is over and retries failed removals; call after every wake.
  void OnTimer();
  // Ends the running elevation. A system shutdown does not signal EXPIRE: the tray keeps its
  // end time, so the next logon asks for the rest again.
  void Stop(bool systemShutdown);

  // Milliseconds until OnTimer has work; nothing when no deadline is pending.
  std::optional<uint64_t> NextDueInMs();

  bool HasRunningElevation() const { return running_.has_value(); }

 private:
  struct Elevation {
    std::u16string user;
    bool atLogin = false;
    uint64_t endMs = 0;      // unused when atLogin
    bool addedByUs = false;  // false: the user was a member before; never removed by us
  };
  struct PendingRemoval {
    std::u16string user;
    uint64_t retryAtMs = 0;
    bool signalWhenRemoved = false;
  };

  bool Denied(std::string* rule, std::string* why);
  bool PolicyAllows(const ValidRequest& request, std::string* rule, std::string* why);
  bool IdentityAccepted(const ValidRequest& request, std::string* rule, std::string* why);
  bool SettingsAccepted(std::string* why);
  void Grant(const ValidRequest& request);
  void EndRunning(const std::string& why, bool signalExpire);
  // Removes a membership this service added; true when it is gone.
  bool Remove(const std::u16string& user);
  bool Persist(const std::u16string* alsoUser = nullptr);
  bool PersistMembersBefore(const std::u16string* alsoUser = nullptr);
  bool IsPending(const std::u16string& user) const;
  void DropPending(const std::u16string& user);
  void Forbid(const std::string& rule, const std::string& why);
  bool LogRepeatable(const std::string& rule, const std::string& line, bool collapseRepeats);
  // Every line of the logic goes through here: counted refusals and a request waiting for its
  // verdict are written first, in order.
  void Log(const std::string& line);
  void FlushRefusalCounts();
  void SignalExpire();

  ServiceHost& host_;
  std::optional<Elevation> running_;
  std::vector<PendingRemoval> pending_;

  std::string pendingRequestLine_;
  std::string lastRefusal_;
  uint64_t refusalWindowStartMs_ = 0;
  uint32_t detailedRefusals_ = 0;
  std::map<std::string, uint64_t> suppressed_;  // by rule
  uint64_t summaryDueMs_ = 0;
};

}  // namespace velmora::service
