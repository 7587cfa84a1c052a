// Text of the service's log lines: UTF-8, one line per message, with every character that could
// end a line, fake one or hide text escaped, so that a user-chosen text cannot forge log lines.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::service {

// UTF-16 units as UTF-8, escaped: "\\" and "\"" get a backslash; C0 and C1 controls and DEL
// become \xHH; line and paragraph separators, bidirectional controls, the BOM and unpaired
// surrogates become \uHHHH. Everything else is copied as UTF-8.
std::string EscapeForLog(const std::u16string& text);

// The same for narrow bytes of unknown encoding (the settings record's ANSI text): printable
// ASCII is copied, every other byte becomes \xHH.
std::string EscapeBytesForLog(const std::string& bytes);

// A quoted, escaped text: "…".
std::string Quoted(const std::u16string& text);

}  // namespace velmora::service
