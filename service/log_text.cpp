#include "log_text.h"

#include "text/utf8.h"

namespace velmora::service {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out.push_back(kHexDigits[(value >> shift) & 0xF]);
  }
}

// Characters that end or reorder a line in some viewer although they are not controls, and the
// invisible ones that would let two different account names read the same in the log.
bool IsInvisibleFormatter(uint32_t cp) {
  return cp == 0x061C || cp == 0x2028 || cp == 0x2029 || cp == 0xFEFF ||
         (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2060 && cp <= 0x2069);
}

}  // namespace

std::string EscapeForLog(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      out += "\\u";
      AppendHex(out, cp, 4);
      continue;
    }
    if (cp == '\\' || cp == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      out += "\\x";
      AppendHex(out, cp, 2);
    } else if (IsInvisibleFormatter(cp)) {
      out += "\\u";
      AppendHex(out, cp, 4);
    } else {
      AppendUtf8(out, cp);
    }
  }
  return out;
}

std::string EscapeBytesForLog(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\' || byte == '"') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      out += "\\x";
      AppendHex(out, byte, 2);
    }
  }
  return out;
}

std::string Quoted(const std::u16string& text) { return "\"" + EscapeForLog(text) + "\""; }

}  // namespace velmora::service
