#include "text/language_file.h"

namespace velmora {
namespace {

constexpr wchar_t kUserPlaceholder[] = L"%User";
constexpr size_t kUserLength = 5;
constexpr wchar_t kTimerPlaceholder[] = L"%Timer";
constexpr size_t kTimerLength = 6;

enum class Placeholder { kUser, kTimer };

// An entry's arguments in order, and whether its time argument is the duration text.
struct Signature {
  size_t count;
  Placeholder order[2];
  bool timerIsText;
};

Signature SignatureOf(TextArgs args) {
  switch (args) {
    case TextArgs::kNumber:
      return {1, {Placeholder::kTimer, Placeholder::kTimer}, false};
    case TextArgs::kUser:
      return {1, {Placeholder::kUser, Placeholder::kUser}, false};
    case TextArgs::kDuration:
      return {1, {Placeholder::kTimer, Placeholder::kTimer}, true};
    case TextArgs::kUserDuration:
      return {2, {Placeholder::kUser, Placeholder::kTimer}, true};
    case TextArgs::kNone:
    case TextArgs::kShownAsWritten:
      break;
  }
  return {0, {Placeholder::kUser, Placeholder::kUser}, false};
}

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// One character at text[i]: how many wchar_t it takes here and how many UTF-16 units on
// Windows, so that 16-bit and 32-bit wchar_t hosts cut at the same place.
struct CharSize {
  size_t length;
  size_t units;
};

CharSize CharAt(const std::wstring& text, size_t i) {
  const uint32_t c = static_cast<uint32_t>(text[i]);
  if (c > 0xFFFF) return {1, 2};
  if (IsHighSurrogate(c) && i + 1 < text.size() &&
      IsLowSurrogate(static_cast<uint32_t>(text[i + 1]))) {
    return {2, 2};
  }
  return {1, 1};
}

bool StartsAt(const std::wstring& text, size_t i, const wchar_t* token, size_t length) {
  return text.compare(i, length, token) == 0;
}

}  // namespace

std::optional<std::wstring> GetLanguageValue(const std::wstring& fileText,
                                             const std::wstring& key) {
  const std::wstring marker = key + L"=\"";
  const size_t at = fileText.find(marker);
  if (at == std::wstring::npos) return std::nullopt;
  const size_t start = at + marker.size();
  const size_t end = fileText.find(L'"', start);
  if (end == std::wstring::npos) return std::nullopt;
  std::wstring value = fileText.substr(start, end - start);
  // Windows would see the text end at a NUL; so does every later user of the entry.
  const size_t nul = value.find(L'\0');
  if (nul != std::wstring::npos) value.resize(nul);
  if (value.empty()) return std::nullopt;
  return value;
}

std::optional<std::wstring> EntryTextFromValue(const std::wstring& value, TextArgs args,
                                               size_t maxUnits) {
  const bool formatted = args != TextArgs::kShownAsWritten;
  const Signature signature = SignatureOf(args);
  std::wstring out;
  size_t units = 0;
  size_t used = 0;
  // Every piece that starts with '%' is two units, so a cut never leaves half of one behind.
  for (size_t i = 0; i < value.size() && value[i] != L'\0';) {
    const bool user = StartsAt(value, i, kUserPlaceholder, kUserLength);
    const bool timer = !user && StartsAt(value, i, kTimerPlaceholder, kTimerLength);
    if (user || timer) {
      if (units + 2 > maxUnits) break;
      const Placeholder placeholder = user ? Placeholder::kUser : Placeholder::kTimer;
      if (formatted) {
        if (used == signature.count || signature.order[used] != placeholder) return std::nullopt;
        ++used;
      }
      out += timer && !signature.timerIsText ? L"%d" : L"%s";
      units += 2;
      i += user ? kUserLength : kTimerLength;
    } else if (formatted && value[i] == L'%') {
      if (units + 2 > maxUnits) break;
      out += L"%%";
      units += 2;
      ++i;
    } else {
      const CharSize c = CharAt(value, i);
      if (units + c.units > maxUnits) break;
      out.append(value, i, c.length);
      units += c.units;
      i += c.length;
    }
  }
  if (out.empty()) return std::nullopt;
  return out;
}

std::wstring FormatEntryText(const std::wstring& text, TextArgs args, FormatArgs values) {
  if (args == TextArgs::kShownAsWritten) return text;
  return FormatWide(text, values);
}

std::wstring CutToUtf16Units(const std::wstring& text, size_t maxUnits) {
  size_t units = 0;
  size_t i = 0;
  while (i < text.size()) {
    const CharSize c = CharAt(text, i);
    if (units + c.units > maxUnits) break;
    units += c.units;
    i += c.length;
  }
  return text.substr(0, i);
}

std::wstring DurationText(uint32_t seconds) {
  const uint32_t days = seconds / 86400;
  const uint32_t hours = seconds % 86400 / 3600;
  const uint32_t minutes = seconds % 3600 / 60;
  const uint32_t rest = seconds % 60;
  std::wstring text;
  if (days != 0) text += FormatWide(L"%d day(s) ", {days});
  if (hours != 0) text += FormatWide(L"%d hour(s) ", {hours});
  if (minutes != 0) text += FormatWide(L"%d minute(s) ", {minutes});
  if (rest != 0) text += FormatWide(L"%d second(s)", {rest});
  return text;
}

}  // namespace velmora
