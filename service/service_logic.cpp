#include "service_logic.h"

#include <algorithm>
#include <string>

#include "log_text.h"

namespace velmora::service {
namespace {

std::string Seconds(uint32_t seconds) { return std::to_string(seconds) + " seconds"; }

}  // namespace

void ServiceLogic::Start() {
  bool removedAny = false;
  for (const std::u16string& user : host_.LoadElevatedUsers()) {
    host_.Log("Recovery. " + Quoted(user) +
              " was added to Administrators by an earlier run and never removed.");
    if (Remove(user)) {
      removedAny = true;
    } else {
      pending_.push_back({user, host_.NowMs() + kRemovalRetryMs, false});
    }
  }
  if (removedAny) {
    Persist();
    // A tray may still count down an elevation that ended with the earlier run.
    SignalExpire();
  }
}

void ServiceLogic::OnElevationRequest(const channel::ElevationRequest& record) {
  std::string why;
  channel::ElevationRequestFields fields;
  const std::optional<ValidRequest> request = ValidateElevationRequest(record, &why, &fields);
  if (!request) {
    if (!fields.user.empty()) {
      host_.Log("Request. user=" + Quoted(fields.user) + " reason=" + Quoted(fields.reason) +
                " at-login=" + (fields.atLogin ? "1" : "0") +
                " seconds=" + std::to_string(fields.seconds));
    }
    Forbid("invalid request: " + why);
    return;
  }
  host_.Log("Request. user=" + Quoted(request->user) + " reason=" + Quoted(request->reason) +
            " at-login=" + (request->atLogin ? "1" : "0") +
            " seconds=" + std::to_string(request->seconds));

  if (host_.ReadServiceDword(kDenyValue) == 1u) {
    Forbid("the machine value Deny is 1");
    return;
  }
  if (!IdentityAccepted(*request, &why)) {
    Forbid(why);
    return;
  }
  Grant(*request);
}

bool ServiceLogic::IdentityAccepted(const ValidRequest& request, std::string* why) {
  const std::optional<std::vector<std::u16string>> users = host_.SessionUsers(true);
  if (users) {
    for (const std::u16string& user : *users) {
      if (host_.SameName(user, request.user)) {
        host_.Log("Identity. " + Quoted(request.user) +
                  " is the user of an active interactive session.");
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
    host_.Log("Identity. The platform does not list logon sessions; " + Quoted(request.user) +
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
  // Recorded before the change: a crash right after the add must not leave a member behind
  // that no later run knows of.
  if (!oursBefore && !Persist(&request.user)) {
    Forbid("the grant cannot be recorded for crash recovery");
    return;
  }
  const uint32_t added = host_.AddToAdministrators(request.user);
  bool addedByUs = oursBefore;
  if (added == status::kSuccess) {
    addedByUs = true;
    host_.Log("Group. Added " + Quoted(request.user) + " to Administrators.");
  } else if (added == status::kMemberInAlias) {
    host_.Log("Group. " + Quoted(request.user) + " is already a member of Administrators" +
              (oursBefore ? " (added by this service)." : ": the service will not remove it."));
  } else {
    if (!oursBefore) Persist();
    Forbid("cannot add " + Quoted(request.user) + " to Administrators: error " +
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

  if (host_.AdministratorsListed(request.user) != true) {
    host_.Log("Group. Group change not visible on this platform: Administrators does not list " +
              Quoted(request.user) + ".");
  }
  // Logged before the signal: whoever waits for START finds the line already written.
  host_.Log("Decision. Granted: " + Quoted(request.user) +
            (request.atLogin ? " is elevated until the elevation at login is ended."
                             : " is elevated for " + Seconds(request.seconds) + ".") +
            " Signalling START.");
  host_.Signal(Answer::kStart);
}

void ServiceLogic::OnSettingsRecord(const channel::SettingsRecord& record) {
  std::string why;
  channel::SettingsRecordFields fields;
  const std::optional<ValidSettings> settings = ValidateSettingsRecord(record, &why, &fields);
  if (!settings) {
    host_.Log("Settings. Record rejected: " + why + "; nothing stored.");
    return;
  }
  host_.Log("Settings. access-period=\"" + EscapeBytesForLog(fields.accessPeriod) +
            "\" identity=" + (settings->identity ? std::to_string(*settings->identity) : "none") +
            " resuscitate=" + std::to_string(settings->resuscitate) +
            " elevate-at-login=" + std::to_string(settings->elevateAtLogin));
  if (!SettingsAccepted(&why)) {
    host_.Log("Settings. Refused: " + why + "; nothing stored.");
    return;
  }
  const auto store = [this](const char16_t* name, uint32_t value) {
    const uint32_t result = host_.WriteSettingDword(name, value);
    const std::string text = EscapeForLog(name) + "=" + std::to_string(value);
    host_.Log(result == status::kSuccess
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
  const std::optional<std::vector<std::u16string>> users = host_.SessionUsers(false);
  if (!users) {
    if (host_.ReadServiceDword(kAllowUnverifiedSettingsValue) == 1u) {
      host_.Log(
          "Settings. The platform does not list logon sessions; accepted because the "
          "machine value AllowUnverifiedSettings is 1.");
      return true;
    }
    *why =
        "the platform does not list logon sessions, so the writer cannot be known to be an "
        "administrator (the machine value AllowUnverifiedSettings is not 1)";
    return false;
  }
  for (const std::u16string& user : *users) {
    const std::optional<bool> admin = host_.IsAdministrator(user);
    if (admin != true) {
      *why = Quoted(user) + (admin ? " is logged on and is not an administrator"
                                   : " is logged on and its group membership cannot be read");
      return false;
    }
  }
  host_.Log("Settings. Every logged-on user is an administrator.");
  return true;
}

void ServiceLogic::OnEmergencyStart() {
  if (!running_) {
    host_.Log("Emergency. EMERGENCYSTART with no elevation running: nothing to end.");
    return;
  }
  EndRunning("EMERGENCYSTART", true);
}

void ServiceLogic::OnTimer() {
  const uint64_t now = host_.NowMs();
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
    host_.Log("Recovery. " + Quoted(entry.user) +
              " is still a member of Administrators; the next start removes it.");
  }
}

std::optional<uint64_t> ServiceLogic::NextDueInMs() {
  std::optional<uint64_t> due;
  if (running_ && !running_->atLogin) due = running_->endMs;
  for (const PendingRemoval& entry : pending_) {
    due = due ? std::min(*due, entry.retryAtMs) : entry.retryAtMs;
  }
  if (!due) return std::nullopt;
  const uint64_t now = host_.NowMs();
  return *due > now ? *due - now : 0;
}

void ServiceLogic::EndRunning(const std::string& why, bool signalExpire) {
  const Elevation ended = *running_;
  running_.reset();
  host_.Log("Elevation. The elevation of " + Quoted(ended.user) + " ends: " + why + ".");
  bool gone = true;
  if (!ended.addedByUs) {
    host_.Log("Group. " + Quoted(ended.user) +
              " was a member before the grant: membership left in place.");
  } else if (!Remove(ended.user)) {
    gone = false;
    pending_.push_back({ended.user, host_.NowMs() + kRemovalRetryMs, signalExpire});
  }
  Persist();
  // EXPIRE tells the tray that the rights are gone; while the removal still fails they are not.
  if (gone && signalExpire) SignalExpire();
}

void ServiceLogic::SignalExpire() {
  host_.Log("Elevation. Signalling EXPIRE.");
  host_.Signal(Answer::kExpire);
}

bool ServiceLogic::Remove(const std::u16string& user) {
  const uint32_t result = host_.RemoveFromAdministrators(user);
  if (result == status::kSuccess) {
    host_.Log("Group. Removed " + Quoted(user) + " from Administrators.");
    return true;
  }
  if (result == status::kMemberNotInAlias || result == status::kNoSuchMember) {
    host_.Log("Group. " + Quoted(user) + " is no longer a member of Administrators (error " +
              std::to_string(result) + ").");
    return true;
  }
  host_.Log("Group. Cannot remove " + Quoted(user) + " from Administrators: error " +
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
  host_.Log("Recovery. Cannot record the memberships added by the service.");
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

void ServiceLogic::Forbid(const std::string& why) {
  host_.Log("Decision. Refused: " + why + ". Signalling FORBID.");
  host_.Signal(Answer::kForbid);
}

}  // namespace velmora::service
