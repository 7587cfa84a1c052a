#include "text/language_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "text/utf16.h"

namespace velmora {
namespace {

// One non-BMP character: a surrogate pair on Windows, one wchar_t on Linux.
const std::wstring kGrin = FromUtf16(u"\U0001F600");
const std::wstring x197(197, L'x'), x198(198, L'x'), x199(199, L'x');

TEST(LanguageFileTest, ValueRunsFromTheFirstExactMarkerToTheNextQuoteAndEndsAtANul) {
  const std::pair<std::wstring, std::optional<std::wstring>> cases[] = {
      {L"MenuItemAbout=\"Zwei\r\nZeilen\"", L"Zwei\r\nZeilen"},
      {L"MenuItemAbout=\"Eins\" MenuItemAbout=\"Zwei\"", L"Eins"},
      {L"MenuItemAbout=\"Info", std::nullopt},
      {L"MenuItemAbout=\"\"", std::nullopt},
      {L"MenuItemAbout = \"Info\"", std::nullopt},
      {L"menuitemabout=\"Info\"", std::nullopt},
      {std::wstring(L"x\0MenuItemAbout=\"Info\"", 22), L"Info"},
      {std::wstring(L"MenuItemAbout=\"In\0fo\"", 21), L"In"},
      {std::wstring(L"MenuItemAbout=\"\0Info\"", 21), std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(GetLanguageValue(c.first, L"MenuItemAbout"), c.second);
}

TEST(LanguageFileTest, PlaceholdersFitTheirEntryInOrderAndTheCutSplitsNothing) {
  const struct {
    TextArgs args;
    std::wstring value;
    std::optional<std::wstring> text;  // nothing: the value does not fit the entry
  } cases[] = {{TextArgs::kNumber, L"Seit %Timer Minuten", L"Seit %d Minuten"},
               {TextArgs::kDuration, L"noch %Timer", L"noch %s"},
               {TextArgs::kUserDuration, L"%User: noch %Timer", L"%s: noch %s"},
               {TextArgs::kUserDuration, L"%User ist Mitglied", L"%s ist Mitglied"},
               {TextArgs::kUserDuration, L"noch %Timer", std::nullopt},
               {TextArgs::kUserDuration, L"%Timer f\u00fcr %User", std::nullopt},
               {TextArgs::kUser, L"%User und %User", std::nullopt},
               {TextArgs::kNumber, L"%User", std::nullopt},
               {TextArgs::kNone, L"Dienst %User", std::nullopt},
               {TextArgs::kUser, L"%n %s %1000000d %user %", L"%%n %%s %%1000000d %%user %%"},
               {TextArgs::kUser, L"%%User", L"%%%s"},
               {TextArgs::kNumber, L"%Timers%", L"%ds%%"},
               {TextArgs::kShownAsWritten, L"50% %User %Timer %s %%", L"50% %s %d %s %%"},
               {TextArgs::kShownAsWritten, x199 + L"x", x199},
               {TextArgs::kShownAsWritten, x198 + kGrin, x198},
               {TextArgs::kShownAsWritten, x197 + kGrin, x197 + kGrin},
               {TextArgs::kUser, x197 + L"%User", x197 + L"%s"},
               {TextArgs::kUser, x198 + L"%User%User", x198},
               {TextArgs::kNone, x198 + L"%", x198},
               {TextArgs::kNone, L"", std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(EntryTextFromValue(c.value, c.args), c.text) << c.value.size();
  }
  EXPECT_EQ(CutToUtf16Units(L"ab" + kGrin, 3), L"ab");
  EXPECT_EQ(FormatEntryText(L"%s %Timer %d", TextArgs::kShownAsWritten, {L"Ann", 1}),
            L"%s %Timer %d");
}

TEST(LanguageFileTest, DurationTextLeavesOutZeroParts) {
  const std::pair<uint32_t, std::wstring> cases[] = {
      {0, L""},
      {59, L"59 second(s)"},
      {60, L"1 minute(s) "},
      {86400, L"1 day(s) "},
      {90061, L"1 day(s) 1 hour(s) 1 minute(s) 1 second(s)"},
      {UINT32_MAX, L"49710 day(s) 6 hour(s) 28 minute(s) 15 second(s)"}};
  for (const auto& c : cases) EXPECT_EQ(DurationText(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace velmora
