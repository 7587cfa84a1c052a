// Arbitrary bytes as a language file: every entry's value is taken out, made into the entry's
// text and formatted with the entry's arguments and more. The first four bytes are the seconds
// of the duration text and the number argument; the rest is the file. Beyond the sanitizers it
// checks that a text fits its field, that a formatted text holds only conversions its entry
// supplies, and that formatting gives what those conversions promise and nothing else.
#include <cstring>

#include "fuzz_support.h"
#include "text/language_file.h"
#include "text/utf16.h"

using Arguments = std::vector<std::pair<std::wstring, wchar_t>>;  // expected text, conversion

// The formatted text, worked out from the template by hand: "%%" is one '%', every other '%'
// must start a conversion that the entry's next argument fills (a '%' at the end meets the
// string's terminating NUL, which is no argument's conversion).
static std::wstring Expand(const std::wstring& text, const Arguments& arguments) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%' || text[++i] == L'%') {
      out += text[i];
      continue;
    }
    Require(next < arguments.size() && arguments[next].second == text[i]);
    out += arguments[next++].first;
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t skip = std::min<size_t>(size, 4);
  uint32_t seconds = 0;
  std::memcpy(&seconds, data, skip);
  const std::wstring file = FromUtf16LeBytesWhole(data + skip, size - skip);
  // A user name from the input too, so names with '%' in them are formatted as well.
  const std::wstring user = file.substr(0, file.find(L'\0')).substr(0, 12);
  const std::wstring duration = DurationText(seconds), extra = L"\x1EXTRA ARGUMENT\x2";
  const FormatArg given[] = {user, duration, seconds, extra};
  const Arguments promised = {{user, L's'}, {duration, L's'}, {std::to_wstring(seconds), L'd'}};
  // Per TextArgs, in its order: the two arguments an entry is given first, as indexes into
  // `given`; the entry takes those below 3 (always the leading ones) and must leave the rest.
  constexpr int kGiven[][2] = {{0, 2}, {3, 3}, {2, 3}, {0, 3}, {1, 3}, {0, 1}};
  for (const TextInfo& info : kTextTable) {
    const auto value = GetLanguageValue(file, info.key);
    const auto text = value ? EntryTextFromValue(*value, info.args) : std::nullopt;
    if (!text) continue;
    Require(!text->empty() && ToUtf16(*text).size() <= kTextMaxUnits);
    const auto [first, second] = kGiven[static_cast<int>(info.args)];
    const Arguments taken = {promised[first % 3], promised[second % 3]};
    const Arguments expected(taken.begin(), taken.begin() + (first < 3) + (second < 3));
    // An entry shown as written is never formatted, whatever it is given.
    Require(FormatEntryText(*text, info.args, {given[first], given[second], extra, seconds}) ==
            (info.args == TextArgs::kShownAsWritten ? *text : Expand(*text, expected)));
  }
  return 0;
}
