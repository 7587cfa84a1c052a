// Every registry read and write of the tray. Reads visit the policy key before the product key,
// each in the 64-bit view before the 32-bit view; the first place that yields the value wins.
// Values reach callers as wide text; reads never report errors.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace velmora {

extern const wchar_t kPolicyKeyPath[];   // SOFTWARE\Policies\Ostrand\Velmora
extern const wchar_t kProductKeyPath[];  // Software\Ostrand\Velmora

enum class SettingKind { kString, kNumber };

// Managed table first (when managed mode is on), else the machine registry; logs the read.
bool GetSetting(const std::wstring& name, std::wstring& out, SettingKind kind,
                const std::wstring& subkey = std::wstring());
// A 4-byte (or shorter) value as signed decimal text; out is emptied when nothing is found.
bool ReadMachineNumberText(const std::wstring& name, std::wstring& out,
                      const std::wstring& subkey = std::wstring());
// String reads leave out untouched when nothing is found.
bool ReadMachineString(const std::wstring& name, std::wstring& out,
                       const std::wstring& subkey = std::wstring());
bool ReadUserString(const std::wstring& name, std::wstring& out);
bool ReadRegistryString(Hive hive, const std::wstring& path, const std::wstring& name,
                        std::wstring& out);
// Writes REG_SZ into the user's product key; a failure shows the error box and answers false.
bool WriteUserString(const std::wstring& name, const std::wstring& text);
void DeleteUserValue(const std::wstring& name);

// Called when a number setting turns out to be stored as text, which reads as the code of its
// first character ("1" reads as 49): configuration that silently means something else than its
// author meant. The default writes one log line per value name; the service installs its own.
using NumberAsTextNotice = void (*)(const std::wstring& name, int32_t value);
void SetNumberAsTextNotice(NumberAsTextNotice notice);

// Base-10 conversions of setting texts (leading white space and a sign accepted, stops at the
// first non-digit, no digits gives 0; out-of-range values saturate).
long SettingToLong(const std::wstring& text);
int64_t SettingToInt64(const std::wstring& text);

}  // namespace velmora
