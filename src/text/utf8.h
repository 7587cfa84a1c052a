// UTF-8 for the text the programs write for people and tools (logs, console output).
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);
// Wide text as UTF-8: UTF-16 units with their surrogate pairs joined where wchar_t is 16 bits;
// an unpaired surrogate becomes U+FFFD, so the output is always valid UTF-8.
std::string ToUtf8(const std::wstring& text);

}  // namespace velmora
