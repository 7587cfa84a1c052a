#include "settings/settings_store.h"

#include <atomic>
#include <cstddef>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "log/log.h"
#include "platform/owned.h"
#include "settings/managed_settings.h"
#include "text/format.h"
#include "text/utf16.h"
#include "text/utf8.h"

namespace velmora {

const wchar_t kPolicyKeyPath[] = L"SOFTWARE\\Policies\\Ostrand\\Velmora";
const wchar_t kProductKeyPath[] = L"Software\\Ostrand\\Velmora";

namespace {

// Reads try the 64-bit view first so that a 32-bit build on 64-bit Windows still sees what
// administrators deployed natively, and fall back to the redirected 32-bit view.
constexpr uint32_t kReadViews[] = {reg::kKeyRead | reg::kWow64Key64,
                                   reg::kKeyRead | reg::kWow64Key32};
constexpr uint32_t kUserWriteAccess = reg::kKeyWrite | reg::kWow64Key64;

void LogNumberAsTextOnce(const std::wstring& name, int32_t value) {
  LogFormattedOnce(ToUtf8(name),
                   "ReadMachineNumberText. '%S' is a number setting stored as text: it reads as %d, "
                   "the code of its first character",
                   {FormatArg(name), FormatArg(value)});
}

std::atomic<NumberAsTextNotice> g_numberAsTextNotice{&LogNumberAsTextOnce};

bool IsTextType(uint32_t type) {
  return type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegMultiSz;
}

std::wstring SettingsPath(const wchar_t* base, const std::wstring& subkey) {
  std::wstring path(base);
  if (!subkey.empty()) {
    path += L'\\';
    path += subkey;
  }
  return path;
}

// One place of a number read. Data of up to 4 bytes lands in a zeroed little-endian word, so
// shorter data (and a one-character REG_SZ) reads as a small number; longer data answers
// ERROR_MORE_DATA and counts as not found here.
bool QueryDwordAt(Hive hive, const std::wstring& path, uint32_t access, const std::wstring& name,
                  int32_t* value) {
  Registry& registry = Reg();
  OwnedRegKey key;
  if (registry.OpenKey(hive, path, access, key.receive()) != 0) return false;
  uint8_t buffer[4] = {0, 0, 0, 0};
  uint32_t size = sizeof(buffer);
  uint32_t type = 0;
  if (registry.QueryValue(key.get(), name, &type, buffer, &size) != 0) return false;
  const uint32_t bits = static_cast<uint32_t>(buffer[0]) | (static_cast<uint32_t>(buffer[1]) << 8) |
                        (static_cast<uint32_t>(buffer[2]) << 16) |
                        (static_cast<uint32_t>(buffer[3]) << 24);
  *value = static_cast<int32_t>(bits);
  if (IsTextType(type)) g_numberAsTextNotice.load(std::memory_order_relaxed)(name, *value);
  return true;
}

// One place of a string read: size first, then the data into a buffer two bytes larger than
// that so the text always ends in a NUL unit whatever the stored type or length.
bool QueryStringAt(Hive hive, const std::wstring& path, uint32_t access, const std::wstring& name,
                   std::wstring* text) {
  Registry& registry = Reg();
  OwnedRegKey key;
  if (registry.OpenKey(hive, path, access, key.receive()) != 0) return false;
  uint32_t size = 0;
  if (registry.QueryValue(key.get(), name, nullptr, nullptr, &size) != 0) return false;
  // On a 32-bit host the two extra bytes could wrap a size near 4 GB to a tiny buffer.
  if (static_cast<size_t>(size) > std::numeric_limits<size_t>::max() - 2) return false;
  std::vector<uint8_t> buffer;
  try {
    buffer.assign(static_cast<size_t>(size) + 2, 0);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  // The learned size, not the buffer's: a value that grew in between must not overwrite the
  // terminating NUL unit; it answers ERROR_MORE_DATA instead and counts as not found.
  uint32_t dataSize = size;
  if (registry.QueryValue(key.get(), name, nullptr, buffer.data(), &dataSize) != 0) return false;
  *text = FromUtf16LeBytes(buffer.data(), buffer.size());
  return true;
}

void ShowRegistryError(const wchar_t* format, int32_t status, uint32_t lastError) {
  ShellUi().ShowMessageBox(nullptr,
                      FormatWide(format, {static_cast<int>(status), static_cast<int>(lastError)}),
                      L"", win::kMbOk);
}

// wcstol-style base-10 conversion with the accepted white space and digits kept to ASCII, so
// every host and runtime agrees; the result saturates at [minimum, maximum].
int64_t ParseBase10(const std::wstring& text, int64_t minimum, int64_t maximum) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < n && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  // Accumulate towards the sign so that the most negative value needs no special case.
  int64_t value = 0;
  for (; i < n && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const int digit = static_cast<int>(text[i] - L'0');
    if (negative) {
      if (value < (minimum + digit) / 10) return minimum;
      value = value * 10 - digit;
    } else {
      if (value > (maximum - digit) / 10) return maximum;
      value = value * 10 + digit;
    }
  }
  return value;
}

}  // namespace

void SetNumberAsTextNotice(NumberAsTextNotice notice) {
  g_numberAsTextNotice.store(notice != nullptr ? notice : &LogNumberAsTextOnce,
                             std::memory_order_relaxed);
}

bool ReadMachineNumberText(const std::wstring& name, std::wstring& out, const std::wstring& subkey) {
  for (const wchar_t* base : {kPolicyKeyPath, kProductKeyPath}) {
    const std::wstring path = SettingsPath(base, subkey);
    for (uint32_t access : kReadViews) {
      int32_t value = 0;
      if (QueryDwordAt(Hive::kLocalMachine, path, access, name, &value)) {
        out = FormatWide(L"%d", {static_cast<int>(value)});
        return true;
      }
    }
  }
  out.clear();
  return false;
}

bool ReadRegistryString(Hive hive, const std::wstring& path, const std::wstring& name,
                        std::wstring& out) {
  for (uint32_t access : kReadViews) {
    std::wstring text;
    if (QueryStringAt(hive, path, access, name, &text)) {
      out = std::move(text);
      return true;
    }
  }
  return false;
}

bool ReadMachineString(const std::wstring& name, std::wstring& out, const std::wstring& subkey) {
  return ReadRegistryString(Hive::kLocalMachine, SettingsPath(kPolicyKeyPath, subkey), name, out) ||
         ReadRegistryString(Hive::kLocalMachine, SettingsPath(kProductKeyPath, subkey), name, out);
}

bool ReadUserString(const std::wstring& name, std::wstring& out) {
  return ReadRegistryString(Hive::kCurrentUser, kPolicyKeyPath, name, out) ||
         ReadRegistryString(Hive::kCurrentUser, kProductKeyPath, name, out);
}

bool WriteUserString(const std::wstring& name, const std::wstring& text) {
  Registry& registry = Reg();
  OwnedRegKey key;
  const int32_t created =
      registry.CreateKey(Hive::kCurrentUser, kProductKeyPath, kUserWriteAccess, key.receive());
  if (created != 0) {
    ShowRegistryError(L"RegCreateKeyEx error: %d. LastError: %d", created, Kern().LastError());
    return false;
  }
  // Stored as a C string would be: up to the first NUL, with the terminating NUL counted.
  const std::wstring value = text.substr(0, text.find(L'\0'));
  const std::vector<uint8_t> data = ToUtf16LeBytes(value, true);
  const int32_t stored = registry.SetValue(key.get(), name, reg::kRegSz, data.data(),
                                           static_cast<uint32_t>(data.size()));
  if (stored != 0) {
    ShowRegistryError(L"RegSetValueEx error: %d. LastError: %d", stored, Kern().LastError());
    return false;
  }
  return true;
}

void DeleteUserValue(const std::wstring& name) {
  Reg().DeleteKeyValue(Hive::kCurrentUser, kProductKeyPath, name);
}

bool GetSetting(const std::wstring& name, std::wstring& out, SettingKind kind,
                const std::wstring& subkey) {
  out.clear();
  if (IsManagedMode()) {
    // The managed table is keyed by value name alone: a subkey never narrows the lookup.
    if (const std::wstring* managed = FindManagedSetting(name)) {
      out = *managed;
      Log("Managed=1");
      Log("Retrieving setting '%S': %S", name, out);
      return true;
    }
  }
  const bool found = kind == SettingKind::kString ? ReadMachineString(name, out, subkey)
                                                  : ReadMachineNumberText(name, out, subkey);
  Log("Managed=0");
  Log("Retrieving setting '%S': %S", name, out);
  return found;
}

// long is 32 bits on Windows and 64 on Linux; the setting texts saturate at the 32-bit range
// on every host so that a value behaves the same in the tests as in the product.
long SettingToLong(const std::wstring& text) {
  return static_cast<long>(
      ParseBase10(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t SettingToInt64(const std::wstring& text) {
  return ParseBase10(text, std::numeric_limits<int64_t>::min(),
                     std::numeric_limits<int64_t>::max());
}

}  // namespace velmora
