#include "service_records.h"

#include <string>

namespace velmora::service {
namespace {

// Characters that Windows forbids in account and NetBIOS domain names; a name holding one can
// only be a probe for the name resolution of the group functions.
bool IsForbiddenNameUnit(char16_t unit) {
  if (unit < 0x20 || unit == 0x7F) return true;
  for (const char16_t bad : u"\"/[]:;|=,+*?<>") {
    if (bad != 0 && unit == bad) return true;
  }
  return false;
}

}  // namespace

const char* RecordStatusText(channel::RecordStatus status) {
  switch (status) {
    case channel::RecordStatus::kOk:
      return "sound";
    case channel::RecordStatus::kTooShort:
      return "the record is too short";
    case channel::RecordStatus::kNotTerminated:
      return "a text field has no terminating NUL";
    case channel::RecordStatus::kNotZeroPadded:
      return "a text field is not zero after its NUL (torn or foreign data)";
    case channel::RecordStatus::kEmptyUserName:
      return "the user name is empty";
    case channel::RecordStatus::kBadFlag:
      return "a 0/1 flag holds another number";
    case channel::RecordStatus::kBadIdentity:
      return "the identity is not 1, 2, 3 or empty";
  }
  return "unknown record status";
}

std::optional<ValidRequest> ValidateElevationRequest(const channel::ElevationRequest& record,
                                                     std::string* why,
                                                     channel::ElevationRequestFields* decoded) {
  channel::ElevationRequestFields fields;
  const channel::RecordStatus status =
      channel::DecodeElevationRequest(record.data(), record.size(), &fields);
  if (status != channel::RecordStatus::kOk) {
    *why = RecordStatusText(status);
    return std::nullopt;
  }
  *decoded = fields;
  const size_t slash = fields.user.find(u'\\');
  if (slash == std::u16string::npos || slash == 0 || slash + 1 == fields.user.size() ||
      fields.user.find(u'\\', slash + 1) != std::u16string::npos) {
    *why = "the user name is not of the form domain\\account";
    return std::nullopt;
  }
  for (size_t i = 0; i < fields.user.size(); ++i) {
    if (i != slash && IsForbiddenNameUnit(fields.user[i])) {
      *why = "the user name holds a character that account names cannot have";
      return std::nullopt;
    }
  }
  if (fields.atLogin && fields.seconds != 0) {
    *why = "an elevation at login must carry 0 seconds";
    return std::nullopt;
  }
  if (!fields.atLogin && (fields.seconds == 0 || fields.seconds > kMaxElevationSeconds)) {
    *why = "the seconds of a timed elevation must lie between 1 and " +
           std::to_string(kMaxElevationSeconds);
    return std::nullopt;
  }
  ValidRequest request;
  request.user = fields.user;
  request.domain = fields.user.substr(0, slash);
  request.reason = fields.reason;
  request.atLogin = fields.atLogin;
  request.seconds = fields.seconds;
  return request;
}

std::optional<ValidSettings> ValidateSettingsRecord(const channel::SettingsRecord& record,
                                                    std::string* why,
                                                    channel::SettingsRecordFields* decoded) {
  channel::SettingsRecordFields fields;
  const channel::RecordStatus status =
      channel::DecodeSettingsRecord(record.data(), record.size(), &fields);
  if (status != channel::RecordStatus::kOk) {
    *why = RecordStatusText(status);
    return std::nullopt;
  }
  *decoded = fields;
  ValidSettings settings;
  const std::string& period = fields.accessPeriod;
  // Digits only, so no sign, blank or hex form reaches the value the tray later parses.
  if (period.empty() || period.size() > 7 ||
      period.find_first_not_of("0123456789") != std::string::npos) {
    *why = "the access period is not a decimal number of at most 7 digits";
    return std::nullopt;
  }
  settings.accessPeriod = static_cast<uint32_t>(std::stoul(period));
  if (settings.accessPeriod == 0 || settings.accessPeriod > kMaxElevationSeconds) {
    *why = "the access period must lie between 1 and " + std::to_string(kMaxElevationSeconds);
    return std::nullopt;
  }
  if (fields.identity != 0) settings.identity = static_cast<uint32_t>(fields.identity - '0');
  if (fields.resuscitate < '0' || fields.resuscitate > '3') {
    *why = "the resuscitate mode is not one of 0, 1, 2, 3";
    return std::nullopt;
  }
  settings.resuscitate = static_cast<uint32_t>(fields.resuscitate - '0');
  settings.elevateAtLogin = fields.elevateAtLogin ? 1u : 0u;
  return settings;
}

}  // namespace velmora::service
