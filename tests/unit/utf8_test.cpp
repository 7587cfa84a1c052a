#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

// Expected bytes written out by hand from the UTF-8 encoding table.
TEST(Utf8Test, EncodesEveryLengthAndRepairsBrokenSurrogates) {
  const struct {
    std::u16string units;
    std::string bytes;
  } cases[] = {
      {u"", ""},
      {u"A\\\"", "A\\\""},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},          // a pair joined into one code point
      {std::u16string(1, 0xD83D), "\xEF\xBF\xBD"},  // a lone high surrogate
      {std::u16string{0xDE00, u'x'},
       "\xEF\xBF\xBD"
       "x"},  // a lone low surrogate
      {std::u16string{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    std::wstring wide;
    if constexpr (sizeof(wchar_t) == 2) {
      wide.assign(c.units.begin(), c.units.end());
    } else {
      // A 32-bit wchar_t holds code points; a surrogate there is as broken as an unpaired one.
      for (size_t i = 0; i < c.units.size(); ++i) {
        const char32_t u = c.units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < c.units.size() && c.units[i + 1] >= 0xDC00 &&
            c.units[i + 1] <= 0xDFFF) {
          wide.push_back(
              static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (c.units[i + 1] - 0xDC00)));
          ++i;
        } else {
          wide.push_back(static_cast<wchar_t>(u));
        }
      }
    }
    EXPECT_EQ(c.bytes, ToUtf8(wide));
  }
}

}  // namespace
}  // namespace velmora
