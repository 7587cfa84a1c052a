#include "service_logic.h"

#include <algorithm>
#include <string>

#include "elevation/request_flow.h"
#include "log_text.h"

namespace velmora::service {
namespace {

std::string Seconds(uint32_t seconds) { return std::to_string(seconds) + " seconds"; }

}  // namespace

void ServiceLogic::Start() {
  const std::vector<std::u16string> added = host_.LoadElevatedUsers();
  const std::vector<std::u16string> membersBefore = host_.LoadMembersBeforeGrant();
  for (const std::u16string& user : membersBefore) {
    // On both lists only when the membership vanished between the check and the add: then the
    // add was ours.
    if (std::none_of(added.begin(), added.end(),
                     [&](const std::u16string& other) { return host_.SameName(other, user); })) {
      Log("Recovery. " + Quoted(user) +
          " was a member of Administrators before its grant: membership left in place.");
    }
  }
  bool removedAny = false;
  for (const std::u16string& user : added) {
    const std::string found = "Recovery. " + Quoted(user) +
                              " was added to Administrators by an earlier run and never removed.";
    Log(found);
    host_.ReportAudit(AuditEvent::kEnd, found);
    if (Remove(user)) {
      removedAny = true;
    } else {
      pending_.push_back({user, host_.NowMs() + kRemovalRetryMs, false});
    }
  }
  if (removedAny) Persist();
  if (!membersBefore.empty()) PersistMembersBefore();
  // A tray may still count down an elevation that ended with the earlier run.
  if (removedAny || !membersBefore.empty()) SignalExpire();
}

void ServiceLogic::OnElevationRequest(const channel::ElevationRequest& record) {
  std::string why;
  channel::ElevationRequestFields fields;
  const std::optional<ValidRequest> request = ValidateElevationRequest(record, &why, &fields);
  // Written before the first line that follows it, or by Forbid with the refusal.
  if (!fields.user.empty()) {
    pendingRequestLine_ =
        "Request. user=" + Quoted(fields.user) + " reason=" + Quoted(fields.reason) +
        " at-login=" + (fields.atLogin ? "1" : "0") + " seconds=" + std::to_string(fields.seconds);
  }
  if (!request) {
    Forbid("invalid request", "invalid request: " + why);
    return;
  }
  std::string rule;
  if (Denied(&rule, &why) || !PolicyAllows(*request, &rule, &why) ||
      !IdentityAccepted(*request, &rule, &why)) {
    Forbid(rule, why);
    return;
  }
  Grant(*request);
}

// Any value but a REG_DWORD 0 denies: an administrator who typed Deny as text meant it.
bool ServiceLogic::Denied(std::string* rule, std::string* why) {
  *rule = "Deny";
  const std::optional<uint32_t> deny = host_.ReadServiceDword(kDenyValue);
  if (deny) {
    *why = "the machine value Deny is " + std::to_string(*deny);
    return *deny != 0;
  }
  *why = "the machine value Deny is not a REG_DWORD, which counts as deny";
  return host_.HasServiceValue(kDenyValue);
}

// The tray's own checks cannot be trusted (anyone can write the block), but nothing a tray on
// this machine could legitimately ask for is refused.
bool ServiceLogic::PolicyAllows(const ValidRequest& request, std::string* rule, std::string* why) {
  const RequestPolicy policy = host_.ReadRequestPolicy();
  if (request.atLogin) {
    *rule = "policy rule ElevateAtLogin";
    *why =
        "policy rule ElevateAtLogin: an elevation at login needs the machine setting "
        "ElevateAtLogin to be 1";
    return policy.atLoginAllowed;
  }
  *rule = "policy rule longest request";
  *why = "policy rule longest request: " + Seconds(request.seconds) + " is more than the " +
         Seconds(policy.longestSeconds) + " a tray may ask for here (AccessPeriod " +
         Seconds(policy.accessPeriod) + ", ElevateForXDays " +
         std::to_string(policy.elevateForXDays) + " days, shell hook " +
         Seconds(kShellHookSeconds) + ")";
  return request.seconds <= policy.longestSeconds;
}

bool ServiceLogic::IdentityAccepted(const ValidRequest& request, std::string* rule,
                                    std::string* why) {
  *rule = "identity";
  const SessionList sessions = host_.SessionUsers(true);
  if (sessions.kind == SessionList::Kind::kFailed) {
    *why = "the logon sessions cannot be listed, so " + Quoted(request.user) +
           " cannot be vouched for";
    return false;
  }
  if (sessions.kind == SessionList::Kind::kListed) {
    for (const std::u16string& user : sessions.users) {
      if (host_.SameName(user, request.user)) {
        Log("Identity. " + Quoted(request.user) + " is the user of an active interactive session.");
        return true;
      }
    }
    *why = Quoted(request.user) + " is not the user of an active interactive session";
    return false;
  }
  // No logon can be confirmed here. Local accounts of this computer are the narrowest set left;
  // a domain name would let a request name anyone in the directory.
  const std::u16string computer = host_.ComputerName();
  if (!computer.empty() && host_.SameName(request.domain, computer)) {
    Log("Identity. The platform does not list logon sessions; " + Quoted(request.user) +
        " is accepted as a local account of " + Quoted(computer) + ".");
    return true;
  }
  *why = "the platform does not list logon sessions and " + Quoted(request.user) +
         " is not a local account of " + Quoted(computer);
  return false;
}

void ServiceLogic::Grant(const ValidRequest& request) {
  const bool sameUser = running_ && host_.SameName(running_->user, request.user);
  if (running_ && !sameUser) {
    EndRunning("replaced by a request for " + Quoted(request.user), true);
  }
  const bool oursBefore = (sameUser && running_->addedByUs) || IsPending(request.user);
  bool memberBefore = sameUser && !running_->addedByUs;
  if (!oursBefore && !memberBefore) {
    const std::optional<bool> listed = host_.AdministratorsListed(request.user);
    if (!listed) {
      Forbid("membership unreadable",
             "the members of Administrators cannot be read, so a crash could not tell whether "
             "the service added " +
                 Quoted(request.user));
      return;
    }
    memberBefore = *listed;
  }
  // Recorded before the change: recovery after a crash at any later step removes exactly the
  // memberships that this service added.
  if (!oursBefore &&
      !(memberBefore ? PersistMembersBefore(&request.user) : Persist(&request.user))) {
    Forbid("crash record", "the grant cannot be recorded for crash recovery");
    return;
  }
  const uint32_t added = host_.AddToAdministrators(request.user);
  bool addedByUs = oursBefore;
  if (added == status::kSuccess) {
    addedByUs = true;
    Log("Group. Added " + Quoted(request.user) + " to Administrators.");
  } else if (added == status::kMemberInAlias) {
    Log("Group. " + Quoted(request.user) + " is already a member of Administrators" +
        (oursBefore ? " (added by this service)." : ": the service will not remove it."));
  } else {
    if (!oursBefore) {
      if (memberBefore)
        PersistMembersBefore();
      else
        Persist();
    }
    Forbid("group change", "cannot add " + Quoted(request.user) + " to Administrators: error " +
                               std::to_string(added));
    return;
  }

  DropPending(request.user);
  Elevation elevation;
  elevation.user = request.user;
  elevation.atLogin = request.atLogin;
  elevation.endMs = host_.NowMs() + uint64_t{request.seconds} * 1000u;
  elevation.addedByUs = addedByUs;
  running_ = elevation;
  Persist();
  PersistMembersBefore();

  if (host_.AdministratorsListed(request.user) != true) {
    Log("Group. Group change not visible on this platform: Administrators does not list " +
        Quoted(request.user) + ".");
  }
  // Logged before the signal: whoever waits for START finds the line already written.
  const std::string granted =
      "Decision. Granted: " + Quoted(request.user) +
      (request.atLogin ? " is elevated until the elevation at login is ended."
                       : " is elevated for " + Seconds(request.seconds) + ".") +
      " Signalling START.";
  Log(granted);
  host_.ReportAudit(AuditEvent::kGrant, granted);
  host_.Signal(Answer::kStart);
}

void ServiceLogic::OnSettingsRecord(const channel::SettingsRecord& record) {
  std::string why;
  channel::SettingsRecordFields fields;
  const std::optional<ValidSettings> settings = ValidateSettingsRecord(record, &why, &fields);
  if (!settings) {
    Log("Settings. Record rejected: " + why + "; nothing stored.");
    return;
  }
  Log("Settings. access-period=\"" + EscapeBytesForLog(fields.accessPeriod) +
      "\" identity=" + (settings->identity ? std::to_string(*settings->identity) : "none") +
      " resuscitate=" + std::to_string(settings->resuscitate) +
      " elevate-at-login=" + std::to_string(settings->elevateAtLogin));
  if (!SettingsAccepted(&why)) {
    Log("Settings. Refused: " + why + "; nothing stored.");
    return;
  }
  const auto store = [this](const char16_t* name, uint32_t value) {
    const uint32_t result = host_.WriteSettingDword(name, value);
    const std::string text = EscapeForLog(name) + "=" + std::to_string(value);
    Log(result == status::kSuccess
            ? "Settings. Stored " + text + "."
            : "Settings. Cannot store " + text + ": error " + std::to_string(result) + ".");
  };
  store(u"AccessPeriod", settings->accessPeriod);
  if (settings->identity) store(u"Identity", *settings->identity);
  store(u"Resuscitate", settings->resuscitate);
  store(u"ElevateAtLogin", settings->elevateAtLogin);
}

// The record itself names nobody: it is stored only when everyone who could have written it
// is an administrator, since its values (ElevateAtLogin above all) apply to every user.
bool ServiceLogic::SettingsAccepted(std::string* why) {
  const SessionList sessions = host_.SessionUsers(false);
  if (sessions.kind == SessionList::Kind::kFailed) {
    *why =
        "the logon sessions cannot be listed, so the writer cannot be known to be an "
        "administrator";
    return false;
  }
  if (sessions.kind == SessionList::Kind::kNotListed) {
    if (host_.ReadServiceDword(kAllowUnverifiedSettingsValue) == 1u) {
      Log("Settings. The platform does not list logon sessions; accepted because the "
          "machine value AllowUnverifiedSettings is 1.");
      return true;
    }
    *why =
        "the platform does not list logon sessions, so the writer cannot be known to be an "
        "administrator (the machine value AllowUnverifiedSettings is not 1)";
    return false;
  }
  // With nobody logged on, the writer is a program outside every session (a scheduled task
  // of any user, say): no one vouches for it.
  if (sessions.users.empty()) {
    *why = "nobody is logged on, so the writer cannot be a logged-on administrator";
    return false;
  }
  for (const std::u16string& user : sessions.users) {
    const std::optional<bool> admin = host_.IsAdministrator(user);
    if (admin != true) {
      *why = Quoted(user) + (admin ? " is logged on and is not an administrator"
                                   : " is logged on and its group membership cannot be read");
      return false;
    }
  }
  Log("Settings. Every logged-on user is an administrator.");
  return true;
}

void ServiceLogic::OnEmergencyStart() {
  if (!running_) {
    // Each one written (within the budget): a tray's end-of-session signal is read off them.
    LogRepeatable("EMERGENCYSTART with nothing to end",
                  "Emergency. EMERGENCYSTART with no elevation running: nothing to end.", false);
    return;
  }
  EndRunning("EMERGENCYSTART", true);
}

void ServiceLogic::OnTimer() {
  const uint64_t now = host_.NowMs();
  if (!suppressed_.empty() && summaryDueMs_ <= now) FlushRefusalCounts();
  if (running_ && !running_->atLogin && running_->endMs <= now) {
    EndRunning("the period is over", true);
  }
  bool removedAny = false;
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->retryAtMs > now) {
      ++it;
      continue;
    }
    if (!Remove(it->user)) {
      it->retryAtMs = now + kRemovalRetryMs;
      ++it;
      continue;
    }
    removedAny = true;
    // Another user's elevation would take this EXPIRE for its own end.
    const bool signal = it->signalWhenRemoved && !running_;
    it = pending_.erase(it);
    if (signal) SignalExpire();
  }
  if (removedAny) Persist();
}

void ServiceLogic::Stop(bool systemShutdown) {
  if (running_) {
    EndRunning(systemShutdown ? "the system is shutting down" : "the service is stopping",
               !systemShutdown);
  }
  std::vector<PendingRemoval> left;
  for (const PendingRemoval& entry : pending_) {
    if (!Remove(entry.user)) {
      left.push_back(entry);
    } else if (entry.signalWhenRemoved && !systemShutdown) {
      SignalExpire();
    }
  }
  pending_ = left;
  Persist();
  for (const PendingRemoval& entry : pending_) {
    Log("Recovery. " + Quoted(entry.user) +
        " is still a member of Administrators; the next start removes it.");
  }
}

std::optional<uint64_t> ServiceLogic::NextDueInMs() {
  std::optional<uint64_t> due;
  if (running_ && !running_->atLogin) due = running_->endMs;
  for (const PendingRemoval& entry : pending_) {
    due = due ? std::min(*due, entry.retryAtMs) : entry.retryAtMs;
  }
  if (!suppressed_.empty()) due = due ? std::min(*due, summaryDueMs_) : summaryDueMs_;
  if (!due) return std::nullopt;
  const uint64_t now = host_.NowMs();
  return *due > now ? *due - now : 0;
}

void ServiceLogic::EndRunning(const std::string& why, bool signalExpire) {
  const Elevation ended = *running_;
  running_.reset();
  const std::string ends =
      "Elevation. The elevation of " + Quoted(ended.user) + " ends: " + why + ".";
  Log(ends);
  host_.ReportAudit(AuditEvent::kEnd, ends);
  bool gone = true;
  if (!ended.addedByUs) {
    Log("Group. " + Quoted(ended.user) +
        " was a member before the grant: membership left in place.");
    PersistMembersBefore();
  } else if (!Remove(ended.user)) {
    gone = false;
    pending_.push_back({ended.user, host_.NowMs() + kRemovalRetryMs, signalExpire});
  }
  Persist();
  // EXPIRE tells the tray that the rights are gone; while the removal still fails they are not.
  if (gone && signalExpire) SignalExpire();
}

void ServiceLogic::SignalExpire() {
  Log("Elevation. Signalling EXPIRE.");
  host_.Signal(Answer::kExpire);
}

bool ServiceLogic::Remove(const std::u16string& user) {
  const uint32_t result = host_.RemoveFromAdministrators(user);
  if (result == status::kSuccess) {
    Log("Group. Removed " + Quoted(user) + " from Administrators.");
    return true;
  }
  if (result == status::kMemberNotInAlias || result == status::kNoSuchMember) {
    Log("Group. " + Quoted(user) + " is no longer a member of Administrators (error " +
        std::to_string(result) + ").");
    return true;
  }
  Log("Group. Cannot remove " + Quoted(user) + " from Administrators: error " +
      std::to_string(result) + "; retrying in " + std::to_string(kRemovalRetryMs / 1000) +
      " seconds.");
  return false;
}

bool ServiceLogic::Persist(const std::u16string* alsoUser) {
  std::vector<std::u16string> users;
  for (const PendingRemoval& entry : pending_) users.push_back(entry.user);
  if (running_ && running_->addedByUs) users.push_back(running_->user);
  if (alsoUser) users.push_back(*alsoUser);
  if (host_.SaveElevatedUsers(users)) return true;
  Log("Recovery. Cannot record the memberships added by the service.");
  return false;
}

bool ServiceLogic::PersistMembersBefore(const std::u16string* alsoUser) {
  std::vector<std::u16string> users;
  if (running_ && !running_->addedByUs) users.push_back(running_->user);
  if (alsoUser) users.push_back(*alsoUser);
  if (host_.SaveMembersBeforeGrant(users)) return true;
  Log("Recovery. Cannot record the members of Administrators that the service must keep.");
  return false;
}

bool ServiceLogic::IsPending(const std::u16string& user) const {
  return std::any_of(pending_.begin(), pending_.end(),
                     [&](const PendingRemoval& entry) { return host_.SameName(entry.user, user); });
}

void ServiceLogic::DropPending(const std::u16string& user) {
  pending_.erase(
      std::remove_if(pending_.begin(), pending_.end(),
                     [&](const PendingRemoval& entry) { return host_.SameName(entry.user, user); }),
      pending_.end());
}

// Lines that anyone can repeat at will (refusals, EMERGENCYSTART with nothing running) must
// neither push the grants out of the retained log nor slow the service down: a line beyond the
// hour's budget, or a refusal identical to the one before, is only counted, and the counts
// follow as one line. True when the line was written.
bool ServiceLogic::LogRepeatable(const std::string& rule, const std::string& line,
                                 bool collapseRepeats) {
  const uint64_t now = host_.NowMs();
  if (now - refusalWindowStartMs_ >= kRefusalWindowMs || refusalWindowStartMs_ == 0) {
    refusalWindowStartMs_ = now;
    detailedRefusals_ = 0;
  }
  const std::string key = pendingRequestLine_ + "\n" + line;
  if ((collapseRepeats && key == lastRefusal_) || detailedRefusals_ >= kDetailedRefusalsPerWindow) {
    pendingRequestLine_.clear();
    if (suppressed_.empty()) summaryDueMs_ = now + kRefusalSummaryDelayMs;
    ++suppressed_[rule];
    return false;
  }
  ++detailedRefusals_;
  Log(line);
  lastRefusal_ = key;
  return true;
}

void ServiceLogic::Forbid(const std::string& rule, const std::string& why) {
  const std::string line = "Decision. Refused: " + why + ". Signalling FORBID.";
  if (LogRepeatable(rule, line, true)) host_.ReportAudit(AuditEvent::kRefusal, line);
  host_.Signal(Answer::kForbid);
}

void ServiceLogic::FlushRefusalCounts() {
  if (!suppressed_.empty()) {
    std::string summary =
        "Counted. Repeated or beyond the hour's 50 lines, not written one by one:";
    uint64_t total = 0;
    for (const auto& entry : suppressed_) {
      summary += (total == 0 ? " " : ", ") + entry.first + " " + std::to_string(entry.second);
      total += entry.second;
    }
    summary += " (" + std::to_string(total) + " in all; every refused request had its FORBID).";
    suppressed_.clear();
    host_.Log(summary);
    host_.ReportAudit(AuditEvent::kRefusal, summary);
  }
}

void ServiceLogic::Log(const std::string& line) {
  FlushRefusalCounts();
  if (!pendingRequestLine_.empty()) {
    const std::string request = std::move(pendingRequestLine_);
    pendingRequestLine_.clear();
    host_.Log(request);
  }
  lastRefusal_.clear();
  host_.Log(line);
}

}  // namespace velmora::service
