// The one type-safe printf-style formatter of the program. It understands exactly %s, %S, %d,
// %u and %%; anything else after a '%' (flags, widths, precisions, other letters, a lone '%'
// at the end) is copied as text and never consumes an argument. A conversion whose argument
// is missing, or whose argument is of the wrong kind, is copied as text too, so a template
// read from a file can never make the formatter read what it was not given.
//
// Kinds are "number" and "text". Every conversion pairs with the next argument in order, even
// when it is then copied as text, so one bad conversion never shifts the ones after it.
// %d and %u print the argument's own value (a signed argument as signed, an unsigned one as
// unsigned): the formatter knows each argument's type, so it never reinterprets bits the way
// C varargs do. A string of the other width is converted through the ANSI code page (AnsiCodePage());
// with no platform installed, only ASCII passes and other characters become '?'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace velmora {

class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kNarrow, kWide };

  FormatArg(int v) : kind_(Kind::kSigned), signed_(v) {}
  FormatArg(long v) : kind_(Kind::kSigned), signed_(v) {}
  FormatArg(long long v) : kind_(Kind::kSigned), signed_(v) {}
  FormatArg(unsigned v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  FormatArg(unsigned long v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  FormatArg(unsigned long long v) : kind_(Kind::kUnsigned), unsigned_(v) {}
  FormatArg(const char* v) : kind_(Kind::kNarrow), narrow_(v ? v : "") {}
  FormatArg(const std::string& v) : kind_(Kind::kNarrow), narrow_(v.c_str()) {}
  FormatArg(const wchar_t* v) : kind_(Kind::kWide), wide_(v ? v : L"") {}
  FormatArg(const std::wstring& v) : kind_(Kind::kWide), wide_(v.c_str()) {}

  Kind kind() const { return kind_; }
  long long AsSigned() const { return signed_; }
  unsigned long long AsUnsigned() const { return unsigned_; }
  const char* AsNarrow() const { return narrow_; }
  const wchar_t* AsWide() const { return wide_; }

 private:
  Kind kind_;
  long long signed_ = 0;
  unsigned long long unsigned_ = 0;
  const char* narrow_ = nullptr;
  const wchar_t* wide_ = nullptr;
};

using FormatArgs = std::initializer_list<FormatArg>;

// Wide templates: %s takes a wide string (a narrow one is widened from the ANSI code page),
// %d and %u numbers. %S is not a wide conversion (language files only know %s) and stays text.
std::wstring FormatWide(const std::wstring& format, FormatArgs args);
// Narrow templates (the log's): %s takes a narrow string, %S a wide string converted to the
// thread's ANSI code page (either accepts either width), %d and %u numbers.
std::string FormatNarrow(const std::string& format, FormatArgs args);

// Copies at most capacity-1 characters and a NUL into a fixed field; never writes past it and
// never leaves half of a surrogate pair at the cut. Returns the characters copied.
// capacity counts wchar_t of the host: on Windows a character outside the BMP takes two (a
// pair, dropped whole when only its first half would fit); on Linux it is one wchar_t, so a
// field that must hold a Windows count of UTF-16 units is cut after ToUtf16 instead.
// The copy stops at a NUL inside src (the field would end there anyway), so the result is
// always the length of the text now in dest. capacity 0 or a null dest writes nothing.
size_t CopyTruncated(wchar_t* dest, size_t capacity, const std::wstring& src);

}  // namespace velmora
