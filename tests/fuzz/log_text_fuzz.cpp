// Arbitrary bytes as text that reaches the service's log: as UTF-16 units (pairs of bytes, the
// way names and reasons arrive) and as narrow bytes of unknown encoding (the settings record's
// text). Whatever the text, the escaped form is one safe line that reads back to the input.
#include "fuzz_support.h"
#include "log_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2)
    units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  Require(ReadLogText(service::EscapeForLog(units)) == units);
  Require(ReadLogText(service::EscapeBytesForLog({reinterpret_cast<const char*>(data), size})) ==
          std::u16string(data, data + size));
  return 0;
}
