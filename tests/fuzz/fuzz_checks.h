// Checks shared by the fuzz targets: a failed one aborts, which libFuzzer reports as a crash.
#pragma once

#include <cstdlib>
#include <string>

namespace velmora::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// One log line's worth of text: valid UTF-8, no C0 or C1 control, DEL, line or paragraph
// separator, bidirectional control or BOM, and every quote and backslash escaped.
inline bool IsSafeLogText(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      if (lead < 0x20 || lead == 0x7F) return false;
      if (lead == '\\' || lead == '"') {
        // An escape: a backslash starts it and is followed by what it escapes.
        if (lead == '"' || i + 1 == text.size()) return false;
        const char next = text[i + 1];
        if (next != '\\' && next != '"' && next != 'x' && next != 'u') return false;
        i += 2;
        continue;
      }
      ++i;
      continue;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return false;
    uint32_t cp = lead & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
      const auto unit = static_cast<unsigned char>(text[i + k]);
      if ((unit & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (unit & 0x3F);
    }
    const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 || cp == 0xFEFF ||
        cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
        (cp >= 0x2066 && cp <= 0x2069)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace velmora::fuzz
