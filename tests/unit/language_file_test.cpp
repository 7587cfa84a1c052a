#include "text/language_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "text/utf16.h"

namespace velmora {
namespace {

std::wstring Repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

// One non-BMP character: a surrogate pair on Windows, one wchar_t on Linux.
const std::wstring kGrin = FromUtf16(u"\U0001F600");

size_t Utf16Units(const std::wstring& text) { return ToUtf16(text).size(); }

TEST(LanguageFileTest, ValueIsTheTextBetweenTheMarkerAndTheNextQuote) {
  struct Case {
    std::wstring file;
    std::optional<std::wstring> value;
  } cases[] = {
      {L"MenuItemAbout=\"Info\"", L"Info"},
      {L"\uFEFFx\r\nMenuItemAbout=\"Info\"\r\nMenuItemStatus=\"Zustand\"", L"Info"},
      {L"MenuItemAbout=\"Zwei\r\nZeilen\"", L"Zwei\r\nZeilen"},
      // First occurrence wins, even inside another entry's value.
      {L"MenuItemSettings=\"see MenuItemAbout=\"Hilfe\" MenuItemAbout=\"Info\"", L"Hilfe"},
      {L"MenuItemAbout=\"Eins\" MenuItemAbout=\"Zwei\"", L"Eins"},
      // A missing closing quote runs to the next quote anywhere later.
      {L"MenuItemAbout=\"Info\r\nMenuItemStatus=\"Zustand\"", L"Info\r\nMenuItemStatus="},
      {L"MenuItemAbout=\"Info", std::nullopt},
      {L"MenuItemAbout=\"\"", std::nullopt},
      {L"MenuItemAbout = \"Info\"", std::nullopt},
      {L"menuitemabout=\"Info\"", std::nullopt},
      {L"MenuItemAbout=Info", std::nullopt},
      {L"", std::nullopt},
      // A NUL in the file is data: it neither hides later entries nor survives in a value.
      {std::wstring(L"x\0MenuItemAbout=\"Info\"", 22), L"Info"},
      {std::wstring(L"MenuItemAbout=\"In\0fo\"", 21), L"In"},
      {std::wstring(L"MenuItemAbout=\"\0Info\"", 21), std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetLanguageValue(c.file, L"MenuItemAbout"), c.value) << c.file.size();
  }
}

TEST(LanguageFileTest, FileBytesAreUtf16LeWithNulsKeptAndAnOddByteIgnored) {
  const uint8_t bytes[] = {'A', 0, 0, 0, 'B', 0, 0x3D, 0xD8, 0x00, 0xDE, 'C'};
  EXPECT_EQ(FromUtf16LeBytesWhole(bytes, sizeof bytes), std::wstring(L"A\0B", 3) + kGrin);
  EXPECT_EQ(FromUtf16LeBytes(bytes, sizeof bytes), L"A");
}

TEST(LanguageFileTest, PlaceholdersBecomeConversionsThatFitTheirEntry) {
  const std::optional<std::wstring> rejected;
  struct Case {
    TextArgs args;
    std::wstring value;
    std::optional<std::wstring> text;
  } cases[] = {
      {TextArgs::kUser, L"Raise %User", L"Raise %s"},
      {TextArgs::kUser, L"Raise", L"Raise"},
      {TextArgs::kNumber, L"Seit %Timer Minuten", L"Seit %d Minuten"},
      {TextArgs::kDuration, L"noch %Timer", L"noch %s"},
      {TextArgs::kUserDuration, L"%User: noch %Timer", L"%s: noch %s"},
      {TextArgs::kUserDuration, L"%User ist Mitglied", L"%s ist Mitglied"},
      // Argument order is fixed: a later argument cannot come alone, first or twice.
      {TextArgs::kUserDuration, L"noch %Timer", rejected},
      {TextArgs::kUserDuration, L"%Timer für %User", rejected},
      {TextArgs::kUser, L"%User und %User", rejected},
      {TextArgs::kNumber, L"%User", rejected},
      {TextArgs::kNone, L"Dienst %User", rejected},
      // Any other percent sign is text.
      {TextArgs::kNone, L"100% sicher", L"100%% sicher"},
      {TextArgs::kUser, L"%n %s%s%s %1000000d %user %", L"%%n %%s%%s%%s %%1000000d %%user %%"},
      {TextArgs::kUser, L"%%User", L"%%%s"},
      {TextArgs::kNumber, L"%Timers%", L"%ds%%"},
      // Shown as written: never formatted, so only the two placeholders change.
      {TextArgs::kShownAsWritten, L"50% %User %Timer %s %%", L"50% %s %d %s %%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EntryTextFromValue(c.value, c.args), c.text) << c.value.c_str();
  }
}

// The entry's own arguments followed by extra ones that no template may ever reach.
std::wstring Shown(const std::wstring& text, TextArgs args) {
  const std::wstring user = L"Ann";
  const std::wstring duration = DurationText(125);
  switch (args) {
    case TextArgs::kUserDuration:
      return FormatEntryText(text, args, {user, duration, L"EXTRA", 8});
    case TextArgs::kDuration:
      return FormatEntryText(text, args, {duration, L"EXTRA", 8});
    case TextArgs::kNumber:
      return FormatEntryText(text, args, {7, L"EXTRA", 8});
    default:
      return FormatEntryText(text, args, {user, L"EXTRA", 8});
  }
}

TEST(LanguageFileTest, TextsFromFilesShowWhatTheAdminWrote) {
  struct Case {
    TextArgs args;
    std::wstring value;
    std::wstring shown;
  } cases[] = {
      {TextArgs::kUser, L"%User: 100% %s %n %1000000d %", L"Ann: 100% %s %n %1000000d %"},
      {TextArgs::kUserDuration, L"%User, noch %Timer%", L"Ann, noch 2 minute(s) 5 second(s)%"},
      {TextArgs::kDuration, L"%s %Timer", L"%s 2 minute(s) 5 second(s)"},
      {TextArgs::kNumber, L"%Timer Tage (%d)", L"7 Tage (%d)"},
  };
  for (const Case& c : cases) {
    const std::optional<std::wstring> text = EntryTextFromValue(c.value, c.args);
    ASSERT_TRUE(text) << c.value.c_str();
    EXPECT_EQ(Shown(*text, c.args), c.shown) << c.value.c_str();
  }
}

TEST(LanguageFileTest, EntriesAreCutTo199UnitsWithoutSplittingAnything) {
  struct Case {
    TextArgs args;
    std::wstring value;
    std::wstring text;
  } cases[] = {
      {TextArgs::kShownAsWritten, Repeat(L'x', 199), Repeat(L'x', 199)},
      {TextArgs::kShownAsWritten, Repeat(L'x', 200), Repeat(L'x', 199)},
      {TextArgs::kNone, Repeat(L'x', 5000), Repeat(L'x', 199)},
      {TextArgs::kShownAsWritten, Repeat(L'x', 198) + kGrin, Repeat(L'x', 198)},
      {TextArgs::kShownAsWritten, Repeat(L'x', 197) + kGrin, Repeat(L'x', 197) + kGrin},
      // A conversion or an escaped '%' is kept whole or left out whole.
      {TextArgs::kUser, Repeat(L'x', 197) + L"%User", Repeat(L'x', 197) + L"%s"},
      {TextArgs::kUser, Repeat(L'x', 198) + L"%User", Repeat(L'x', 198)},
      {TextArgs::kNone, Repeat(L'x', 198) + L"%", Repeat(L'x', 198)},
      // What the cut removed cannot make a value misfit.
      {TextArgs::kUser, Repeat(L'x', 198) + L"%User%User", Repeat(L'x', 198)},
  };
  for (const Case& c : cases) {
    const std::optional<std::wstring> text = EntryTextFromValue(c.value, c.args);
    ASSERT_TRUE(text) << c.value.size();
    EXPECT_EQ(*text, c.text) << c.value.size();
    EXPECT_LE(Utf16Units(*text), 199u);
  }
  EXPECT_EQ(CutToUtf16Units(L"ab" + kGrin, 3), L"ab");
}

TEST(LanguageFileTest, DurationTextLeavesOutZeroParts) {
  struct Case {
    uint32_t seconds;
    std::wstring text;
  } cases[] = {
      {0, L""},
      {59, L"59 second(s)"},
      {60, L"1 minute(s) "},
      {3725, L"1 hour(s) 2 minute(s) 5 second(s)"},
      {86400, L"1 day(s) "},
      {90061, L"1 day(s) 1 hour(s) 1 minute(s) 1 second(s)"},
      {UINT32_MAX, L"49710 day(s) 6 hour(s) 28 minute(s) 15 second(s)"},
  };
  for (const Case& c : cases) EXPECT_EQ(DurationText(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace velmora
