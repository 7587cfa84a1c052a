// What the service accepts of the two records of the shared block: the channel's layout checks
// (elevation/channel_records.h) plus the service's own rules on the values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "elevation/channel_records.h"

namespace velmora::service {

// Longest elevation, and longest access period stored, in seconds: 30 days.
inline constexpr uint32_t kMaxElevationSeconds = 30u * 24u * 60u * 60u;

struct ValidRequest {
  std::u16string user;    // "domain\account"
  std::u16string domain;  // the part before the backslash
  std::u16string reason;
  bool atLogin = false;
  uint32_t seconds = 0;  // 0 exactly when atLogin
};

// Checks an ElevationRequest copied out of the block. On failure `why` says which rule failed
// and `decoded` holds the fields when at least the layout was sound (for the log).
std::optional<ValidRequest> ValidateElevationRequest(const channel::ElevationRequest& record,
                                                     std::string* why,
                                                     channel::ElevationRequestFields* decoded);

struct ValidSettings {
  uint32_t accessPeriod = 0;
  std::optional<uint32_t> identity;  // absent when the tray had no choice
  uint32_t resuscitate = 0;
  uint32_t elevateAtLogin = 0;
};

// Checks a SettingsRecord copied out of the block. `decoded` as above.
std::optional<ValidSettings> ValidateSettingsRecord(const channel::SettingsRecord& record,
                                                    std::string* why,
                                                    channel::SettingsRecordFields* decoded);

const char* RecordStatusText(channel::RecordStatus status);

}  // namespace velmora::service
