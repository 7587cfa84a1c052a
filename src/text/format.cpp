#include "text/format.h"

#include "platform/platform.h"

namespace velmora {
namespace {

bool IsNumber(const FormatArg& a) {
  return a.kind() == FormatArg::Kind::kSigned || a.kind() == FormatArg::Kind::kUnsigned;
}

bool IsText(const FormatArg& a) {
  return a.kind() == FormatArg::Kind::kNarrow || a.kind() == FormatArg::Kind::kWide;
}

template <typename Char>
void AppendNumber(std::basic_string<Char>* out, const FormatArg& a) {
  unsigned long long magnitude;
  bool negative = false;
  if (a.kind() == FormatArg::Kind::kSigned) {
    const long long v = a.AsSigned();
    negative = v < 0;
    // Negating in unsigned arithmetic keeps LLONG_MIN defined.
    magnitude = negative ? 0ULL - static_cast<unsigned long long>(v)
                         : static_cast<unsigned long long>(v);
  } else {
    magnitude = a.AsUnsigned();
  }
  Char digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<Char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) out->push_back(static_cast<Char>('-'));
  while (n > 0) out->push_back(digits[--n]);
}

// The formatter must work before (and without) a platform: then only ASCII crosses widths.
std::string WideToAnsi(const wchar_t* text) {
  if (CodePage* cp = GetPlatform().codePage) return cp->WideToAnsi(text);
  std::string out;
  for (; *text; ++text) {
    const uint32_t c = static_cast<uint32_t>(*text);
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}

std::wstring AnsiToWide(const char* text) {
  if (CodePage* cp = GetPlatform().codePage) return cp->AnsiToWide(text);
  std::wstring out;
  for (; *text; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    out.push_back(c < 0x80 ? static_cast<wchar_t>(c) : L'?');
  }
  return out;
}

void AppendText(std::string* out, const FormatArg& a) {
  if (a.kind() == FormatArg::Kind::kNarrow) {
    out->append(a.AsNarrow());
  } else {
    out->append(WideToAnsi(a.AsWide()));
  }
}

void AppendText(std::wstring* out, const FormatArg& a) {
  if (a.kind() == FormatArg::Kind::kWide) {
    out->append(a.AsWide());
  } else {
    out->append(AnsiToWide(a.AsNarrow()));
  }
}

template <typename Char>
std::basic_string<Char> Format(const std::basic_string<Char>& format, FormatArgs args,
                               bool upperSIsConversion) {
  std::basic_string<Char> out;
  out.reserve(format.size());
  const FormatArg* next = args.begin();
  const size_t length = format.size();
  for (size_t i = 0; i < length; ++i) {
    const Char c = format[i];
    if (c != '%' || i + 1 == length) {
      out.push_back(c);
      continue;
    }
    const Char conversion = format[i + 1];
    const bool text = conversion == 's' || (conversion == 'S' && upperSIsConversion);
    const bool number = conversion == 'd' || conversion == 'u';
    if (conversion == '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (!text && !number) {
      // Not ours: the '%' is plain text and what follows is read again as template text.
      out.push_back(c);
      continue;
    }
    ++i;
    const FormatArg* arg = next != args.end() ? next++ : nullptr;
    if (arg && text && IsText(*arg)) {
      AppendText(&out, *arg);
    } else if (arg && number && IsNumber(*arg)) {
      AppendNumber(&out, *arg);
    } else {
      out.push_back(c);
      out.push_back(conversion);
    }
  }
  return out;
}

bool IsHighSurrogate(wchar_t c) {
  const uint32_t u = static_cast<uint32_t>(c);
  return u >= 0xD800 && u <= 0xDBFF;
}

}  // namespace

std::wstring FormatWide(const std::wstring& format, FormatArgs args) {
  return Format(format, args, false);
}

std::string FormatNarrow(const std::string& format, FormatArgs args) {
  return Format(format, args, true);
}

size_t CopyTruncated(wchar_t* dest, size_t capacity, const std::wstring& src) {
  if (dest == nullptr || capacity == 0) return 0;
  size_t n = src.find(L'\0');
  if (n == std::wstring::npos) n = src.size();
  if (n > capacity - 1) {
    n = capacity - 1;
    if (n > 0 && IsHighSurrogate(src[n - 1])) --n;
  }
  src.copy(dest, n);
  dest[n] = L'\0';
  return n;
}

}  // namespace velmora
