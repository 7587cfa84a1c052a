// The channel between the tray and the privileged service, byte for byte: the names of its
// kernel objects and the two records of the shared block. Header-only and free of any platform
// dependency so that the service program includes it as it is; docs/PROTOCOL.md is the prose.
//
// Every multi-byte number is little-endian and every text field is UTF-16LE, whatever the host:
// the encoders and decoders below work on bytes and never reinterpret memory as wchar_t.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace velmora::channel {

// ---- Kernel object names -------------------------------------------------------------------

// The shared block: created by the service, opened by the tray.
inline constexpr wchar_t kSharedBlockName[] = L"Global\\__SHARED_312";

// Long-lived events, obtained by the tray at start-up (create-or-open, auto-reset, NULL DACL).
inline constexpr wchar_t kStartEventName[] = L"Global\\__START_EVENT__";
inline constexpr wchar_t kExpireEventName[] = L"Global\\__EXPIRE_EVENT__";
inline constexpr wchar_t kForbidEventName[] = L"Global\\__FORBID_EVENT__";
inline constexpr wchar_t kEmergencyStartEventName[] = L"Global\\__EMERGENCYSTART_EVENT__";
// Request events: the tray obtains one per request and closes it right after setting it.
inline constexpr wchar_t kAddToAdminEventName[] = L"Global\\___ADMIN_ACCESS__312";
inline constexpr wchar_t kSaveSettingsEventName[] = L"Global\\___ADMIN_ACCESS__313";
// Session-local events shared with the shell-hook library; the tray obtains them through the
// narrow API (the names are ASCII, so both APIs name the same object).
inline constexpr wchar_t kShellHookRequestEventName[] = L"event__123__";
inline constexpr wchar_t kShellHookSettledEventName[] = L"event__124__";
inline constexpr wchar_t kShellHookEndEventName[] = L"event__125__";

// ---- ElevationRequest: 1208 bytes, always written whole ------------------------------------

inline constexpr size_t kTextFieldUnits = 300;  // UTF-16 units per text field, NUL included
inline constexpr size_t kMaxTextUnits = kTextFieldUnits - 1;
inline constexpr size_t kTextFieldSize = kTextFieldUnits * 2;

inline constexpr size_t kRequestUserOffset = 0;        // qualified user name, UTF-16LE
inline constexpr size_t kRequestReasonOffset = 600;    // reason, UTF-16LE
inline constexpr size_t kRequestAtLoginOffset = 1200;  // uint32 LE, 1 or 0
inline constexpr size_t kRequestSecondsOffset = 1204;  // uint32 LE, 0 for the elevation at login
inline constexpr size_t kElevationRequestSize = 1208;

using ElevationRequest = std::array<uint8_t, kElevationRequestSize>;

// ---- SettingsRecord: 28 bytes; bytes 28..1207 of the block are left as they were ------------

inline constexpr size_t kSettingsAccessPeriodOffset = 0;  // narrow ANSI text, NUL-terminated
inline constexpr size_t kSettingsAccessPeriodSize = 20;
inline constexpr size_t kSettingsIdentityOffset = 20;     // "1", "2", "3" or a lone NUL
inline constexpr size_t kSettingsResuscitateOffset = 22;  // one character and its NUL
inline constexpr size_t kSettingsCharFieldSize = 2;
inline constexpr size_t kSettingsElevateAtLoginOffset = 24;  // uint32 LE, 1 or 0
inline constexpr size_t kSettingsRecordSize = 28;
// Stored instead of an access period whose text would not fit with its NUL.
inline constexpr char kAccessPeriodFallback[] = "300";

using SettingsRecord = std::array<uint8_t, kSettingsRecordSize>;

static_assert(kRequestReasonOffset == kRequestUserOffset + kTextFieldSize);
static_assert(kRequestAtLoginOffset == kRequestReasonOffset + kTextFieldSize);
static_assert(kElevationRequestSize == kRequestSecondsOffset + 4);
static_assert(kSettingsRecordSize == kSettingsElevateAtLoginOffset + 4);

// ---- Helpers -------------------------------------------------------------------------------

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// What a text field holds of `text`: everything before its first NUL (the field would end
// there anyway), at most 299 units, and never a surrogate pair cut in half: when units 298 and
// 299 form a pair, the text ends after unit 297 (298 units).
inline std::u16string FitTextField(std::u16string text) {
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  if (text.size() > kMaxTextUnits) {
    size_t keep = kMaxTextUnits;
    if (IsHighSurrogate(text[keep - 1]) && IsLowSurrogate(text[keep])) --keep;
    text.resize(keep);
  }
  return text;
}

inline void PutUint32Le(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

inline uint32_t GetUint32Le(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// ---- Encoding (the tray) -------------------------------------------------------------------

// Zero-filled record; each text cut by FitTextField, so its NUL and the zero tail follow it.
inline ElevationRequest EncodeElevationRequest(const std::u16string& user,
                                               const std::u16string& reason, bool atLogin,
                                               uint32_t seconds) {
  ElevationRequest record{};
  const auto putText = [&record](size_t offset, const std::u16string& text) {
    const std::u16string fitted = FitTextField(text);
    for (size_t i = 0; i < fitted.size(); ++i) {
      record[offset + 2 * i] = static_cast<uint8_t>(fitted[i] & 0xFF);
      record[offset + 2 * i + 1] = static_cast<uint8_t>(fitted[i] >> 8);
    }
  };
  putText(kRequestUserOffset, user);
  putText(kRequestReasonOffset, reason);
  PutUint32Le(&record[kRequestAtLoginOffset], atLogin ? 1u : 0u);
  PutUint32Le(&record[kRequestSecondsOffset], seconds);
  return record;
}

// accessPeriod: narrow text in the writer's ANSI code page, up to its first NUL; 20 bytes or
// more are replaced by "300". identity: '1', '2' or '3'; anything else stores "no choice" (a
// lone NUL). resuscitate: stored as given (0 leaves the field empty).
inline SettingsRecord EncodeSettingsRecord(const std::string& accessPeriod, char identity,
                                           char resuscitate, bool elevateAtLogin) {
  SettingsRecord record{};
  std::string period = accessPeriod.substr(0, accessPeriod.find('\0'));
  if (period.size() >= kSettingsAccessPeriodSize) period = kAccessPeriodFallback;
  for (size_t i = 0; i < period.size(); ++i) {
    record[kSettingsAccessPeriodOffset + i] = static_cast<uint8_t>(period[i]);
  }
  if (identity == '1' || identity == '2' || identity == '3') {
    record[kSettingsIdentityOffset] = static_cast<uint8_t>(identity);
  }
  record[kSettingsResuscitateOffset] = static_cast<uint8_t>(resuscitate);
  PutUint32Le(&record[kSettingsElevateAtLoginOffset], elevateAtLogin ? 1u : 0u);
  return record;
}

// ---- Decoding and validation (the service) -------------------------------------------------

enum class RecordStatus {
  kOk,
  kTooShort,       // fewer bytes than the record
  kNotTerminated,  // a text field has no NUL within its size
  kNotZeroPadded,  // a byte after a field's NUL is not zero: torn, foreign or stale data
  kEmptyUserName,  // an elevation request must name a user
  kBadFlag,        // a 0/1 number holds something else
  kBadIdentity,    // identity is not "1", "2", "3" or a lone NUL
};

struct ElevationRequestFields {
  std::u16string user;
  std::u16string reason;
  bool atLogin = false;
  uint32_t seconds = 0;
};

struct SettingsRecordFields {
  std::string accessPeriod;  // ANSI text of the tray's code page
  char identity = 0;         // '1', '2', '3' or 0 for no choice
  char resuscitate = 0;      // 0 when the field is empty
  bool elevateAtLogin = false;
};

namespace detail {

// Reads a NUL-terminated UTF-16LE field and checks that everything after the NUL is zero.
inline RecordStatus ReadTextField(const uint8_t* field, std::u16string* text) {
  size_t units = 0;
  while (units < kTextFieldUnits && (field[2 * units] | field[2 * units + 1]) != 0) ++units;
  if (units == kTextFieldUnits) return RecordStatus::kNotTerminated;
  for (size_t i = 2 * units; i < kTextFieldSize; ++i) {
    if (field[i] != 0) return RecordStatus::kNotZeroPadded;
  }
  text->clear();
  for (size_t i = 0; i < units; ++i) {
    text->push_back(static_cast<char16_t>(field[2 * i] | (field[2 * i + 1] << 8)));
  }
  return RecordStatus::kOk;
}

// A narrow field of `size` bytes: NUL within it, zeros after the NUL.
inline RecordStatus ReadNarrowField(const uint8_t* field, size_t size, std::string* text) {
  size_t length = 0;
  while (length < size && field[length] != 0) ++length;
  if (length == size) return RecordStatus::kNotTerminated;
  for (size_t i = length; i < size; ++i) {
    if (field[i] != 0) return RecordStatus::kNotZeroPadded;
  }
  text->assign(reinterpret_cast<const char*>(field), length);
  return RecordStatus::kOk;
}

}  // namespace detail

// Validates the first 1208 bytes of the block as an ElevationRequest; *out is filled only on
// kOk. Texts come back as UTF-16 units, unpaired surrogates included.
inline RecordStatus DecodeElevationRequest(const uint8_t* data, size_t size,
                                           ElevationRequestFields* out) {
  if (data == nullptr || size < kElevationRequestSize) return RecordStatus::kTooShort;
  ElevationRequestFields fields;
  RecordStatus status = detail::ReadTextField(data + kRequestUserOffset, &fields.user);
  if (status != RecordStatus::kOk) return status;
  status = detail::ReadTextField(data + kRequestReasonOffset, &fields.reason);
  if (status != RecordStatus::kOk) return status;
  if (fields.user.empty()) return RecordStatus::kEmptyUserName;
  const uint32_t atLogin = GetUint32Le(data + kRequestAtLoginOffset);
  if (atLogin > 1) return RecordStatus::kBadFlag;
  fields.atLogin = atLogin == 1;
  fields.seconds = GetUint32Le(data + kRequestSecondsOffset);
  *out = std::move(fields);
  return RecordStatus::kOk;
}

// Validates the first 28 bytes of the block as a SettingsRecord; *out is filled only on kOk.
inline RecordStatus DecodeSettingsRecord(const uint8_t* data, size_t size,
                                         SettingsRecordFields* out) {
  if (data == nullptr || size < kSettingsRecordSize) return RecordStatus::kTooShort;
  SettingsRecordFields fields;
  RecordStatus status = detail::ReadNarrowField(data + kSettingsAccessPeriodOffset,
                                                kSettingsAccessPeriodSize, &fields.accessPeriod);
  if (status != RecordStatus::kOk) return status;
  std::string identity;
  status =
      detail::ReadNarrowField(data + kSettingsIdentityOffset, kSettingsCharFieldSize, &identity);
  if (status != RecordStatus::kOk) return status;
  if (!identity.empty() && identity != "1" && identity != "2" && identity != "3") {
    return RecordStatus::kBadIdentity;
  }
  fields.identity = identity.empty() ? '\0' : identity[0];
  std::string resuscitate;
  status = detail::ReadNarrowField(data + kSettingsResuscitateOffset, kSettingsCharFieldSize,
                                   &resuscitate);
  if (status != RecordStatus::kOk) return status;
  fields.resuscitate = resuscitate.empty() ? '\0' : resuscitate[0];
  const uint32_t elevateAtLogin = GetUint32Le(data + kSettingsElevateAtLoginOffset);
  if (elevateAtLogin > 1) return RecordStatus::kBadFlag;
  fields.elevateAtLogin = elevateAtLogin == 1;
  *out = std::move(fields);
  return RecordStatus::kOk;
}

}  // namespace velmora::channel
