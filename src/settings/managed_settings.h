// Managed mode: settings from the document the service caches in "Managed settings", which
// override the registry for the names they carry. The tray fills it once at start-up and only
// reads it afterwards; the service, single-threaded, loads it afresh for every request.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

// Replaces the mode and the table with what the registry holds now.
void LoadManagedSettings(bool log);
// Parses an unscrambled document and copies the known members into the table; false when the
// root is not a JSON object (the table is then untouched).
bool ApplyManagedDocument(const std::string& text);

bool IsManagedMode();
void SetManagedMode(bool on);
// The entry for a registry value name (exact, case-sensitive), or nullptr.
const std::wstring* FindManagedSetting(const std::wstring& name);
size_t ManagedSettingCount();
// Back to the state before start-up; for tests.
void ResetManagedSettings();

}  // namespace velmora
