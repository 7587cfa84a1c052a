// The formatter, language-file values and UTF-8: text from files and users must never become a
// conversion, a cut must never split a character, and every encoding step keeps what it can.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <tuple>

#include "fakes/fake_platform.h"
#include "text/format.h"
#include "text/language_file.h"
#include "text/utf16.h"
#include "text/utf8.h"

namespace velmora {
namespace {

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Every template gets the same four arguments; what is not a conversion of a fitting argument
// stays text, and every conversion takes the next argument all the same.
TEST(FormatTest, OnlyConversionsOfFittingArgumentsPrintTheirOwnValueInOrder) {
  fakes::FakePlatform fake;
  // Format, narrow result, wide result: %S is no wide conversion.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"%s|%d|%S|%u", "A|-3|B|7", "A|-3|%S|%u"}, {"%d%s%s%s%s%d", "%d%sB%s%s%d", "%d%sB%s%s%d"},
      {"%n%-5s|%*d|%s", "%n%-5s|%*d|A", "%n%-5s|%*d|A"}, {"%%|%%s|%%%s%", "%|%s|%A%", "%|%s|%A%"}};
  for (const auto& [format, narrow, wide] : cases) {
    EXPECT_EQ(FormatNarrow(format, {"A", -3, L"B", 7u}), narrow) << format;
    EXPECT_EQ(FormatWide(Widen(format), {"A", -3, L"B", 7u}), Widen(wide)) << format;
  }
  const char* none = nullptr;
  EXPECT_EQ(FormatNarrow("%d %d %u [%s]", {LLONG_MIN, LLONG_MAX, ULLONG_MAX, none}),
            "-9223372036854775808 9223372036854775807 18446744073709551615 []");
  // Text of the other width goes through the code page, or stays ASCII without one.
  EXPECT_EQ(FormatNarrow("%S/%s", {L"Zo\u00EB \u20AC \u03A9", L"x"}), "Zo\xEB \x80 ?/x");
  EXPECT_EQ(FormatWide(L"%s", {"caf\xE9 \x80\x81"}), L"caf\u00E9 \u20AC\u0081");
  InstallPlatform(Platform());
  EXPECT_EQ(FormatNarrow("%S", {L"a\u00E9"}) + FormatNarrow("%s", {"b"}), "a?b");
  EXPECT_EQ(FormatWide(L"%s", {"a\xE9"}), L"a?");
}

TEST(FormatTest, CopyTruncatedNeverWritesPastTheFieldNorKeepsHalfAPair) {
  const std::wstring pair = L"ab\xD83D\xDE00z", lone = L"a\xD800";  // lone: not a cut's
  const std::tuple<size_t, std::wstring, size_t> cases[] = {
      {1, L"abc", 0}, {4, L"abcd", 3}, {8, std::wstring(L"ab\0cd", 5), 2},
      {4, pair, 2},   {5, pair, 4},    {8, lone, 2}};
  for (const auto& [capacity, text, copied] : cases) {
    std::wstring field(9, L'#');
    EXPECT_EQ(CopyTruncated(field.data(), capacity, text), copied) << capacity;
    EXPECT_EQ(field.substr(0, copied + 1), text.substr(0, copied) + L'\0') << capacity;
    EXPECT_EQ(field[capacity], L'#');
  }
  wchar_t field[1] = {L'#'};
  EXPECT_EQ(CopyTruncated(field, 0, L"abc") + CopyTruncated(nullptr, 4, L"abc"), 0u);
  EXPECT_EQ(field[0], L'#');
}

TEST(LanguageFileTest, ValueRunsFromTheFirstExactMarkerToTheNextQuoteAndEndsAtANul) {
  const std::pair<std::wstring, std::optional<std::wstring>> cases[] = {
      {L"MenuItemAbout=\"Zwei\r\nZeilen\" MenuItemAbout=\"Eins\"", L"Zwei\r\nZeilen"},
      {L"MenuItemAbout=\"\"", std::nullopt},
      {L"MenuItemAbout = \"Info\" menuitemabout=\"Info\" MenuItemAbout=\"Info", std::nullopt},
      {std::wstring(L"MenuItemAbout=\"In\0fo\"", 21), L"In"}};
  for (const auto& c : cases) EXPECT_EQ(GetLanguageValue(c.first, L"MenuItemAbout"), c.second);
}

TEST(LanguageFileTest, PlaceholdersFitTheirEntryInOrderAndTheCutSplitsNothing) {
  const std::wstring grin = FromUtf16(u"\U0001F600");  // two units on Windows, one on Linux
  const std::wstring x197(197, L'x'), x198(198, L'x');
  using A = TextArgs;
  const std::tuple<A, std::wstring, std::optional<std::wstring>> cases[] = {
      {A::kDuration, L"noch %Timer", L"noch %s"},
      {A::kUserDuration, L"%User ist Mitglied", L"%s ist Mitglied"},
      {A::kUser, L"%User und %User", std::nullopt},
      {A::kNone, L"Dienst %User", std::nullopt},
      {A::kUser, L"%n %s %1000000d %user %", L"%%n %%s %%1000000d %%user %%"},
      {A::kNumber, L"%Timers%", L"%ds%%"},
      {A::kShownAsWritten, L"50% %User %Timer %s %%", L"50% %s %d %s %%"},
      {A::kShownAsWritten, x198 + grin, x198},
      {A::kShownAsWritten, x197 + grin, x197 + grin},
      {A::kUser, x198 + L"%User%User", x198},
      {A::kNone, x198 + L"%", x198},
      {A::kNone, L"", std::nullopt}};
  for (const auto& [args, value, text] : cases) {
    EXPECT_EQ(EntryTextFromValue(value, args), text) << value.size();
  }
  EXPECT_EQ(CutToUtf16Units(L"ab" + grin, 3), L"ab");
  EXPECT_EQ(FormatEntryText(L"%s %d", TextArgs::kShownAsWritten, {L"Ann", 1}), L"%s %d");
  EXPECT_EQ(DurationText(90000), L"1 day(s) 1 hour(s) ");
}

// Bytes written out by hand from the UTF-8 table; a broken surrogate becomes U+FFFD.
TEST(Utf8Test, EncodesEveryLengthAndRepairsBrokenSurrogates) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\u00E9", "\xC3\xA9"}, {u"\u20AC", "\xE2\x82\xAC"}, {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, 0xD83D), "\xEF\xBF\xBD"},
      {std::u16string{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"}};
  for (const auto& [units, bytes] : cases) EXPECT_EQ(ToUtf8(FromUtf16(units)), bytes);
}

}  // namespace
}  // namespace velmora
