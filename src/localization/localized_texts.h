// The twenty user-interface texts: built-in English from the string table, overridden entry by
// entry from the chosen language file once at start-up, read-only afterwards.
//
// Language names. The name comes from the Language setting (lower-cased) or, when that is
// "auto", from the platform (its letter case kept). It names one file in the Localization
// folder, so a name that is not a plain file name is refused and "en-us" is used instead:
// empty, longer than 85 characters, any character below U+0020, any of \ / : * ? " < > |, any
// '.', or a DOS device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9 and their superscript-digit
// forms, ASCII letter case ignored, trailing blanks ignored). The file name is matched by the
// file system: Windows, and Wine on any host file system, match it without regard to case;
// the program has no other file system.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "text/format.h"
#include "text/language_file.h"
#include "text/text_table.h"

namespace velmora {

// The entry's text: a template for formatted entries, the text itself for the others.
// Empty until LoadBuiltInTexts has run.
const std::wstring& LocalizedText(TextId id);

// The language file name ("<name>.lng").
std::wstring SelectLanguage();
// Each a language name or empty.
std::wstring GetPreferredUILanguage();
std::wstring GetInputLocaleName();
std::wstring GetSystemLocaleName();
// The rule above.
bool IsSafeLanguageName(const std::wstring& name);

void LoadBuiltInTexts();
// Overrides the entries the file gives a fitting value (language_file.h); a value that does not
// fit its entry is logged and the entry keeps its text. No file, an empty one, one larger than
// kMaxLanguageFileBytes, or a module path without a backslash change nothing.
void LoadLanguageFile(const std::wstring& fileName);
constexpr int64_t kMaxLanguageFileBytes = 1 << 20;

namespace text_detail {

template <typename T>
constexpr bool IsTextArg() {
  using D = std::decay_t<T>;
  return std::is_same_v<D, std::wstring> || std::is_same_v<D, const wchar_t*> ||
         std::is_same_v<D, wchar_t*>;
}

template <typename T>
constexpr bool IsNumberArg() {
  using D = std::decay_t<T>;
  return std::is_integral_v<D> && !std::is_same_v<D, bool> && !std::is_same_v<D, char> &&
         !std::is_same_v<D, wchar_t> && !std::is_same_v<D, char16_t> &&
         !std::is_same_v<D, char32_t>;
}

template <typename... Args>
constexpr bool ArgsFit(TextArgs args) {
  constexpr size_t count = sizeof...(Args);
  constexpr bool allText = (IsTextArg<Args>() && ...);
  constexpr bool allNumbers = (IsNumberArg<Args>() && ...);
  switch (args) {
    case TextArgs::kShownAsWritten:
    case TextArgs::kNone:
      return count == 0;
    case TextArgs::kNumber:
      return count == 1 && allNumbers;
    case TextArgs::kUser:
    case TextArgs::kDuration:
      return count == 1 && allText;
    case TextArgs::kUserDuration:
      return count == 2 && allText;
  }
  return false;
}

}  // namespace text_detail

// The text an entry shows, with the arguments its entry takes, checked at compile time:
// FormatText<TextId::kBalloonAlreadyAdmin2>(userName, DurationText(seconds)).
template <TextId kId, typename... Args>
std::wstring FormatText(const Args&... args) {
  static_assert(text_detail::ArgsFit<Args...>(InfoOf(kId).args),
                "the arguments do not fit this entry (see TextArgs in text_table.h)");
  return FormatEntryText(LocalizedText(kId), InfoOf(kId).args, {FormatArg(args)...});
}

}  // namespace velmora
