#include "text/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>

#include "fakes/fake_code_page.h"
#include "platform/platform.h"

namespace velmora {
namespace {

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = GetPlatform();
    Platform platform;
    platform.codePage = &codePage_;
    InstallPlatform(platform);
  }
  void TearDown() override { InstallPlatform(saved_); }

 private:
  Platform saved_;
  fakes::FakeCodePage codePage_;
};

TEST_F(FormatTest, ConversionsTakeTheirArgumentsInOrder) {
  const std::string user = "Ann";
  EXPECT_EQ(FormatNarrow("%s has %d of %u (100%%) %S", {user, -3, 7u, L"left"}),
            "Ann has -3 of 7 (100%) left");
  EXPECT_EQ(FormatWide(L"%s has %d of %u (100%%)", {std::wstring(L"Ann"), -3, 7u}),
            L"Ann has -3 of 7 (100%)");
  EXPECT_EQ(FormatNarrow("[%s]", {static_cast<const char*>(nullptr)}), "[]");
}

TEST_F(FormatTest, NumbersPrintTheirOwnValueWhateverTheLetter) {
  EXPECT_EQ(FormatNarrow("%d %d %u %d", {LLONG_MIN, LLONG_MAX, ULLONG_MAX, 0}),
            "-9223372036854775808 9223372036854775807 18446744073709551615 0");
  // No C-style reinterpretation of bits: the argument's type is known.
  EXPECT_EQ(FormatWide(L"%d|%u", {4294967295u, -1}), L"4294967295|-1");
}

struct Hostile {
  const char* format;
  std::string expected;
};

TEST_F(FormatTest, HostileTemplatesStayTextAndReadNothingExtra) {
  // Every case gets the same two texts; whatever is not a conversion must not use them.
  const Hostile cases[] = {
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
  };
  for (const Hostile& c : cases) {
    EXPECT_EQ(FormatNarrow(c.format, {"A", "B"}), c.expected) << c.format;
    const std::string f = c.format;
    const std::string e = c.expected;
    EXPECT_EQ(FormatWide(std::wstring(f.begin(), f.end()), {L"A", L"B"}),
              std::wstring(e.begin(), e.end()))
        << c.format;
  }
}

TEST_F(FormatTest, MissingArgumentsAreText) {
  EXPECT_EQ(FormatNarrow("%s%s%s", {"one"}), "one%s%s");
  EXPECT_EQ(FormatWide(L"%d day(s) %u", {}), L"%d day(s) %u");
}

TEST_F(FormatTest, UpperSIsTextInWideTemplates) {
  EXPECT_EQ(FormatWide(L"%S|%s", {L"w"}), L"%S|w");
  EXPECT_EQ(FormatWide(L"%S", {"narrow"}), L"%S");
}

TEST_F(FormatTest, WrongKindIsTextAndKeepsLaterConversionsInPlace) {
  EXPECT_EQ(FormatNarrow("%d|%s", {"abc", "def"}), "%d|def");
  EXPECT_EQ(FormatNarrow("%s|%u", {5, 6}), "%s|6");
  EXPECT_EQ(FormatWide(L"%u|%s|%d", {L"x", 1, 2}), L"%u|%s|2");
}

TEST_F(FormatTest, TextOfTheOtherWidthGoesThroughTheCodePage) {
  EXPECT_EQ(FormatNarrow("%S/%s", {L"Zo\u00EB \u20AC \u03A9", L"x"}), "Zo\xEB \x80 ?/x");
  EXPECT_EQ(FormatNarrow("%S", {"plain"}), "plain");
  EXPECT_EQ(FormatWide(L"%s", {"caf\xE9 \x80\x81"}), L"caf\u00E9 \u20AC\u0081");
}

TEST(FormatWithoutPlatform, OnlyAsciiCrossesWidths) {
  const Platform saved = GetPlatform();
  InstallPlatform(Platform());
  EXPECT_EQ(FormatNarrow("%S", {L"a\u00E9"}), "a?");
  EXPECT_EQ(FormatWide(L"%s", {"a\xE9"}), L"a?");
  InstallPlatform(saved);
}

TEST(CopyTruncated, NeverWritesPastTheField) {
  wchar_t field[8];
  auto reset = [&] { std::fill(std::begin(field), std::end(field), L'#'); };

  reset();
  EXPECT_EQ(CopyTruncated(field, 0, L"abc"), 0u);
  EXPECT_EQ(field[0], L'#');
  EXPECT_EQ(CopyTruncated(nullptr, 4, L"abc"), 0u);

  reset();
  EXPECT_EQ(CopyTruncated(field, 1, L"abc"), 0u);
  EXPECT_EQ(field[0], L'\0');
  EXPECT_EQ(field[1], L'#');

  reset();
  EXPECT_EQ(CopyTruncated(field, 4, L"abc"), 3u);
  EXPECT_STREQ(field, L"abc");

  reset();
  EXPECT_EQ(CopyTruncated(field, 4, L"abcd"), 3u);
  EXPECT_STREQ(field, L"abc");
  EXPECT_EQ(field[4], L'#');

  reset();
  EXPECT_EQ(CopyTruncated(field, 8, std::wstring(L"ab\0cd", 5)), 2u);
  EXPECT_STREQ(field, L"ab");
}

TEST(CopyTruncated, NeverKeepsHalfAPair) {
  const std::wstring text = {L'a', L'b', static_cast<wchar_t>(0xD83D),
                             static_cast<wchar_t>(0xDE00), L'c'};
  wchar_t field[8];
  const struct {
    size_t capacity;
    size_t copied;
  } cuts[] = {{3, 2}, {4, 2}, {5, 4}, {6, 5}};
  for (const auto& cut : cuts) {
    EXPECT_EQ(CopyTruncated(field, cut.capacity, text), cut.copied) << cut.capacity;
    EXPECT_EQ(text.compare(0, cut.copied, field), 0) << cut.capacity;
    EXPECT_EQ(field[cut.copied], L'\0');
  }
  // A lone high surrogate that is not at a cut is the caller's text and stays.
  const std::wstring lone = {L'a', static_cast<wchar_t>(0xD800)};
  EXPECT_EQ(CopyTruncated(field, 8, lone), 2u);

  // Capacity is counted in the host's wchar_t: one unit on Linux, a pair on Windows.
  EXPECT_EQ(CopyTruncated(field, 4, L"ab\U0001F600"), sizeof(wchar_t) == 2 ? 2u : 3u);
}

}  // namespace
}  // namespace velmora
