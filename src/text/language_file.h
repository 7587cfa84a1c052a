// Language files and the texts made from them.
//
// A file is UTF-16LE text; an entry is written Key="value" and the value runs to the next
// double quote (no escape for a quote inside it). Two placeholders exist: "%User" (the user's
// name) and "%Timer" (the time). Every other percent sign in a value is text, shown as written:
// a value never reaches the formatter with a conversion its entry does not supply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/format.h"
#include "text/text_table.h"

namespace velmora {

// The value after the first exact occurrence of key="; it runs to the next double quote,
// anywhere later in the file, and ends early at a NUL. Nothing when the marker or the closing
// quote is missing or the value is empty.
std::optional<std::wstring> GetLanguageValue(const std::wstring& fileText,
                                             const std::wstring& key);

// The entry text made from a file value, cut to kTextMaxUnits without splitting a surrogate
// pair or a two-character "%" sequence.
// - Entries shown as written: "%User" becomes "%s" and "%Timer" "%d"; nothing else changes, and
//   the text is never formatted, so every character is shown as it stands.
// - Formatted entries: "%User" becomes "%s", "%Timer" "%d" or "%s" (the duration text), and any
//   other '%' becomes "%%", so it is shown as one '%'. The placeholders that remain after the
//   cut must be the entry's arguments in their order, leading ones first (none, the first, or
//   all): otherwise the value would show a wrong or missing argument, and nothing is returned.
// A larger maxUnits shows what a cut would lose (the language-pack checker).
std::optional<std::wstring> EntryTextFromValue(const std::wstring& value, TextArgs args,
                                               size_t maxUnits = kTextMaxUnits);

// The text an entry shows: formatted entries go through FormatWide with the values, entries
// shown as written come back unchanged whatever the values.
std::wstring FormatEntryText(const std::wstring& text, TextArgs args, FormatArgs values);

// kTextMaxUnits-style cut of any text: at most maxUnits UTF-16 units, no half surrogate pair.
std::wstring CutToUtf16Units(const std::wstring& text, size_t maxUnits);

// "%d day(s) ", "%d hour(s) ", "%d minute(s) ", "%d second(s)", zero parts left out.
std::wstring DurationText(uint32_t seconds);

}  // namespace velmora
