#include "text/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>

#include "fakes/fake_platform.h"

namespace velmora {
namespace {

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

TEST(FormatTest, ConversionsTakeTheirArgumentsInOrderAndPrintTheirOwnValue) {
  fakes::FakePlatform fake;
  EXPECT_EQ(FormatNarrow("%s has %d of %u (100%%) %S", {std::string("Ann"), -3, 7u, L"left"}),
            "Ann has -3 of 7 (100%) left");
  EXPECT_EQ(FormatWide(L"%s has %d of %u", {std::wstring(L"Ann"), -3, 7u}), L"Ann has -3 of 7");
  EXPECT_EQ(FormatNarrow("[%s]", {static_cast<const char*>(nullptr)}), "[]");
  EXPECT_EQ(FormatNarrow("%d %d %u %d", {LLONG_MIN, LLONG_MAX, ULLONG_MAX, 0}),
            "-9223372036854775808 9223372036854775807 18446744073709551615 0");
  // No C-style reinterpretation of bits: the argument's type is known.
  EXPECT_EQ(FormatWide(L"%d|%u", {4294967295u, -1}), L"4294967295|-1");
}

TEST(FormatTest, WhatIsNotAConversionOfAFittingArgumentStaysTextAndTakesNoArgument) {
  fakes::FakePlatform fake;
  // Every template gets the same two texts; whatever is not a conversion must not use them.
  const std::pair<const char*, const char*> cases[] = {
      {"%n", "%n"},
      {"%n%s", "%nA"},
      {"%s%s%s%s", "AB%s%s"},
      {"%1000000d|%s", "%1000000d|A"},
      {"%-5s|%.3s|%*d|%s", "%-5s|%.3s|%*d|A"},
      {"%x %p %ls %hs %lld %c %f %i", "%x %p %ls %hs %lld %c %f %i"},
      {"100%", "100%"},
      {"%", "%"},
      {"%%", "%"},
      {"%%s", "%s"},
      {"%%%s", "%A"},
      {"%%%", "%%"},
      {"%s%", "A%"},
      {"%d|%s", "%d|B"},
      {"%u", "%u"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNarrow(c.first, {"A", "B"}), c.second) << c.first;
    EXPECT_EQ(FormatWide(Widen(c.first), {L"A", L"B"}), Widen(c.second)) << c.first;
  }
  EXPECT_EQ(FormatNarrow("%s|%u", {5, 6}), "%s|6");
  EXPECT_EQ(FormatWide(L"%u|%s|%d", {L"x", 1, 2}), L"%u|%s|2");
  EXPECT_EQ(FormatWide(L"%d day(s) %u", {}), L"%d day(s) %u");
  // %S is not a wide conversion (language files only know %s).
  EXPECT_EQ(FormatWide(L"%S|%s", {L"w"}), L"%S|w");
}

TEST(FormatTest, TextOfTheOtherWidthGoesThroughTheCodePageOrStaysAsciiWithoutOne) {
  {
    fakes::FakePlatform fake;
    EXPECT_EQ(FormatNarrow("%S/%s", {L"Zo\u00EB \u20AC \u03A9", L"x"}), "Zo\xEB \x80 ?/x");
    EXPECT_EQ(FormatNarrow("%S", {"plain"}), "plain");
    EXPECT_EQ(FormatWide(L"%s", {"caf\xE9 \x80\x81"}), L"caf\u00E9 \u20AC\u0081");
  }
  EXPECT_EQ(FormatNarrow("%S", {L"a\u00E9"}), "a?");
  EXPECT_EQ(FormatWide(L"%s", {"a\xE9"}), L"a?");
}

TEST(CopyTruncatedTest, NeverWritesPastTheFieldNorKeepsHalfAPair) {
  const std::wstring pair = {L'a', L'b', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00),
                             L'c'};
  const struct {
    size_t capacity;
    std::wstring text;
    size_t copied;
  } cases[] = {{1, L"abc", 0},
               {4, L"abc", 3},
               {4, L"abcd", 3},
               {8, std::wstring(L"ab\0cd", 5), 2},
               {3, pair, 2},
               {4, pair, 2},
               {5, pair, 4},
               {6, pair, 5},
               // A lone high surrogate that is not at a cut is the caller's text and stays.
               {8, std::wstring{L'a', static_cast<wchar_t>(0xD800)}, 2}};
  for (const auto& c : cases) {
    wchar_t field[9];
    std::fill(std::begin(field), std::end(field), L'#');
    EXPECT_EQ(CopyTruncated(field, c.capacity, c.text), c.copied) << c.capacity;
    EXPECT_EQ(c.text.compare(0, c.copied, field), 0) << c.capacity;
    EXPECT_EQ(field[c.copied], L'\0');
    EXPECT_EQ(field[c.capacity], L'#');
  }
  wchar_t field[2] = {L'#', L'#'};
  EXPECT_EQ(CopyTruncated(field, 0, L"abc"), 0u);
  EXPECT_EQ(field[0], L'#');
  EXPECT_EQ(CopyTruncated(nullptr, 4, L"abc"), 0u);
  // Capacity is counted in the host's wchar_t: one unit on Linux, a pair on Windows.
  wchar_t wide[4];
  EXPECT_EQ(CopyTruncated(wide, 4, L"ab\U0001F600"), sizeof(wchar_t) == 2 ? 2u : 3u);
}

}  // namespace
}  // namespace velmora
