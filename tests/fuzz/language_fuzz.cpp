// Arbitrary bytes as a language file: every entry's value is taken out, made into the entry's
// text and formatted with the entry's arguments and more. The first four bytes are the seconds
// of the duration text and the number argument; the rest is the file. Beyond the sanitizers it
// checks that a text fits its field, that a formatted text holds only conversions its entry
// supplies, and that formatting gives what those conversions promise and nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/language_file.h"
#include "text/text_table.h"
#include "text/utf16.h"

namespace {

using velmora::TextArgs;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The arguments an entry is formatted with, as their expected text, in order; each is a text
// ('s') or a number ('d').
struct Expected {
  std::wstring text;
  wchar_t conversion;
};

std::vector<Expected> ArgumentsOf(TextArgs args, const std::wstring& user,
                                  const std::wstring& duration, uint32_t number) {
  const std::wstring digits = std::to_wstring(number);
  switch (args) {
    case TextArgs::kNumber:
      return {{digits, L'd'}};
    case TextArgs::kUser:
      return {{user, L's'}};
    case TextArgs::kDuration:
      return {{duration, L's'}};
    case TextArgs::kUserDuration:
      return {{user, L's'}, {duration, L's'}};
    case TextArgs::kNone:
    case TextArgs::kShownAsWritten:
      break;
  }
  return {};
}

// The formatted text, worked out from the template by hand: "%%" is one '%', every other '%'
// must start a conversion that the entry's next argument fills.
std::wstring Expand(const std::wstring& text, const std::vector<Expected>& arguments) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') {
      out += text[i];
      continue;
    }
    Require(i + 1 < text.size());
    const wchar_t conversion = text[++i];
    if (conversion == L'%') {
      out += L'%';
      continue;
    }
    Require(next < arguments.size() && arguments[next].conversion == conversion);
    out += arguments[next++].text;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t seconds = 0;
  if (size >= sizeof seconds) {
    std::memcpy(&seconds, data, sizeof seconds);
    data += sizeof seconds;
    size -= sizeof seconds;
  }
  const std::wstring file = velmora::FromUtf16LeBytesWhole(data, size);
  // A user name from the input too, so names with '%' in them are formatted as well.
  const std::wstring user = file.substr(0, file.find(L'\0')).substr(0, 12);
  const std::wstring duration = velmora::DurationText(seconds);
  const std::wstring extra = L"\x1EXTRA ARGUMENT\x2";

  for (const velmora::TextInfo& info : velmora::kTextTable) {
    const auto value = velmora::GetLanguageValue(file, info.key);
    if (!value) continue;
    Require(!value->empty() && value->find(L'\0') == std::wstring::npos);
    const auto text = velmora::EntryTextFromValue(*value, info.args);
    if (!text) continue;
    Require(!text->empty() && velmora::ToUtf16(*text).size() <= velmora::kTextMaxUnits);

    if (info.args == TextArgs::kShownAsWritten) {
      Require(velmora::FormatEntryText(*text, info.args, {user, seconds, extra}) == *text);
      continue;
    }
    // Formatted with exactly the entry's arguments, whatever follows them.
    std::wstring formatted;
    switch (info.args) {
      case TextArgs::kNumber:
        formatted = velmora::FormatEntryText(*text, info.args, {seconds, extra, seconds});
        break;
      case TextArgs::kUser:
        formatted = velmora::FormatEntryText(*text, info.args, {user, extra, seconds});
        break;
      case TextArgs::kDuration:
        formatted = velmora::FormatEntryText(*text, info.args, {duration, extra, seconds});
        break;
      case TextArgs::kUserDuration:
        formatted = velmora::FormatEntryText(*text, info.args, {user, duration, extra, seconds});
        break;
      default:
        formatted = velmora::FormatEntryText(*text, info.args, {extra, seconds});
        break;
    }
    Require(formatted == Expand(*text, ArgumentsOf(info.args, user, duration, seconds)));
  }
  return 0;
}
