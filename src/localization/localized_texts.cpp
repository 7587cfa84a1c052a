#include "localization/localized_texts.h"

#include <array>
#include <cwctype>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "text/utf16.h"

namespace velmora {
namespace {

std::array<std::wstring, kTextCount> g_localizedTexts;

constexpr size_t kMaxLanguageNameLength = 85;  // LOCALE_NAME_MAX_LENGTH
constexpr int kResourceCapacity = 200;
constexpr wchar_t kLanguageFileSuffix[] = L".lng";
constexpr size_t kLanguageFileSuffixLength = 4;

std::wstring LocaleName(uint32_t lcid) {
  const std::wstring language = ShellUi().LocaleInfo(lcid, locale_info::kIso639LangName);
  // Without a language code there is nothing to name; a missing country leaves the language.
  if (language.empty()) return std::wstring();
  const std::wstring country = ShellUi().LocaleInfo(lcid, locale_info::kIso3166CtryName);
  return country.empty() ? language : language + L"-" + country;
}

// Windows opens these as devices whatever extension follows ("com1.lng" is the serial port),
// ignoring trailing blanks before it.
bool IsDeviceName(const std::wstring& name) {
  std::wstring base = name.substr(0, name.find_last_not_of(L' ') + 1);
  for (wchar_t& c : base) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  if (base == L"con" || base == L"prn" || base == L"aux" || base == L"nul") return true;
  if (base.size() != 4 || (base.compare(0, 3, L"com") != 0 && base.compare(0, 3, L"lpt") != 0)) {
    return false;
  }
  const wchar_t digit = base[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}

}  // namespace

const std::wstring& LocalizedText(TextId id) {
  return g_localizedTexts[static_cast<size_t>(id)];
}

bool IsSafeLanguageName(const std::wstring& name) {
  if (name.empty() || name.size() > kMaxLanguageNameLength) return false;
  constexpr std::wstring_view kRefused = L"\\/:*?\"<>|.";
  for (wchar_t c : name) {
    if (static_cast<uint32_t>(c) < 0x20 || kRefused.find(c) != std::wstring_view::npos) {
      return false;
    }
  }
  return !IsDeviceName(name);
}

std::wstring GetPreferredUILanguage() {
  std::wstring language;
  ReadRegistryString(Hive::kCurrentUser, L"Control Panel\\Desktop", L"PreferredUILanguages",
                     language);
  return language;
}

std::wstring GetInputLocaleName() {
  uint16_t langId = 0;
  if (!ShellUi().DefaultInputLanguage(&langId)) return std::wstring();
  return LocaleName(langId);
}

std::wstring GetSystemLocaleName() { return LocaleName(locale_info::kSystemDefault); }

std::wstring SelectLanguage() {
  std::wstring setting;
  GetSetting(L"Language", setting, SettingKind::kString);
  // The C runtime's lowering under the user's locale (set at start) lowers every letter that
  // has a lower-case form, not only A to Z.
  for (wchar_t& c : setting) {
    c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  }
  std::wstring reference;
  ReadMachineString(L"PreferredUIReference", reference);

  std::wstring language;
  if (setting == L"auto") {
    if (reference.empty()) reference = L"1";
    if (reference == L"1") {
      language = GetPreferredUILanguage();
      if (language.empty()) language = GetInputLocaleName();
    } else if (reference == L"2") {
      language = GetInputLocaleName();
    } else if (reference == L"3") {
      language = GetSystemLocaleName();
    }
  } else {
    language = setting;
  }
  if (!language.empty() && !IsSafeLanguageName(language)) {
    Log("SelectLanguage. '%S' is not a language file name. Using en-us", language);
    language.clear();
  }
  if (language.empty()) language = L"en-us";
  return language + kLanguageFileSuffix;
}

void LoadBuiltInTexts() {
  for (const TextInfo& info : kTextTable) {
    g_localizedTexts[static_cast<size_t>(info.id)] = CutToUtf16Units(
        ShellUi().LoadStringResource(info.resourceId, kResourceCapacity), kTextMaxUnits);
  }
}

void LoadLanguageFile(const std::wstring& fileName) {
  // The name becomes part of a path: only a safe name with its suffix may.
  if (fileName.size() <= kLanguageFileSuffixLength) return;
  const size_t stem = fileName.size() - kLanguageFileSuffixLength;
  if (fileName.compare(stem, kLanguageFileSuffixLength, kLanguageFileSuffix) != 0 ||
      !IsSafeLanguageName(fileName.substr(0, stem))) {
    return;
  }

  const std::wstring modulePath = Fs().ModulePath();
  const size_t slash = modulePath.rfind(L'\\');
  if (slash == std::wstring::npos) return;
  const std::wstring path = modulePath.substr(0, slash) + L"\\Localization\\" + fileName;

  const int64_t size = Fs().SizeOf(path);
  if (size <= 0) return;
  if (size > kMaxLanguageFileBytes) {
    Log("LoadLanguageFile. %S is larger than %d bytes. Using the built-in texts", path,
        kMaxLanguageFileBytes);
    return;
  }
  std::vector<uint8_t> bytes;
  if (!Fs().ReadAll(path, &bytes) || bytes.empty() ||
      bytes.size() > static_cast<size_t>(kMaxLanguageFileBytes)) {
    return;
  }
  const std::wstring text = FromUtf16LeBytesWhole(bytes.data(), bytes.size());

  for (const TextInfo& info : kTextTable) {
    const std::optional<std::wstring> value = GetLanguageValue(text, info.key);
    if (!value) continue;
    std::optional<std::wstring> entry = EntryTextFromValue(*value, info.args);
    if (!entry) {
      Log("LoadLanguageFile. The placeholders of '%S' do not fit the entry. Keeping its text",
          info.key);
      continue;
    }
    g_localizedTexts[static_cast<size_t>(info.id)] = std::move(*entry);
  }
}

}  // namespace velmora
