// Arbitrary bytes as a language file: every entry's value is taken out, made into the entry's
// text and formatted with the entry's arguments and more. The first four bytes are the seconds
// of the duration text and the number argument; the rest is the file. Beyond the sanitizers it
// checks that a text fits its field, that a formatted text holds only conversions its entry
// supplies, and that formatting gives what those conversions promise and nothing else.
#include <cstring>
#include <map>

#include "fuzz_support.h"
#include "text/language_file.h"
#include "text/utf16.h"

using Arguments = std::vector<std::pair<std::wstring, wchar_t>>;  // expected text, conversion

// The formatted text, worked out from the template by hand: "%%" is one '%', every other '%'
// must start a conversion that the entry's next argument fills.
static std::wstring Expand(const std::wstring& text, const Arguments& arguments) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    Require(text[i] != L'%' || i + 1 < text.size());
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
  uint32_t seconds = 0;
  if (size >= sizeof seconds) {
    std::memcpy(&seconds, data, sizeof seconds);
    data += sizeof seconds;
    size -= sizeof seconds;
  }
  const std::wstring file = FromUtf16LeBytesWhole(data, size);
  // A user name from the input too, so names with '%' in them are formatted as well.
  const std::wstring user = file.substr(0, file.find(L'\0')).substr(0, 12);
  const std::wstring duration = DurationText(seconds), extra = L"\x1EXTRA ARGUMENT\x2";
  // Each kind's arguments, as indexes into these; an entry is given two and more after them.
  const FormatArg given[] = {user, duration, seconds, extra};
  const Arguments promised = {{user, L's'}, {duration, L's'}, {std::to_wstring(seconds), L'd'}};
  static const std::map<TextArgs, std::pair<int, int>> kTakes = {
      {TextArgs::kShownAsWritten, {0, 2}}, {TextArgs::kNone, {3, 3}},
      {TextArgs::kNumber, {2, 3}},         {TextArgs::kUser, {0, 3}},
      {TextArgs::kDuration, {1, 3}},       {TextArgs::kUserDuration, {0, 1}}};

  for (const TextInfo& info : kTextTable) {
    const auto value = GetLanguageValue(file, info.key);
    if (!value) continue;
    Require(!value->empty() && value->find(L'\0') == std::wstring::npos);
    const auto text = EntryTextFromValue(*value, info.args);
    if (!text) continue;
    Require(!text->empty() && ToUtf16(*text).size() <= kTextMaxUnits);
    const auto [first, second] = kTakes.at(info.args);
    const std::wstring formatted =
        FormatEntryText(*text, info.args, {given[first], given[second], extra, seconds});
    Arguments expected;
    for (const int taken : {first, second}) {
      if (taken < 3) expected.push_back(promised[taken]);
    }
    // An entry shown as written is never formatted, whatever it is given.
    Require(formatted ==
            (info.args == TextArgs::kShownAsWritten ? *text : Expand(*text, expected)));
  }
  return 0;
}
