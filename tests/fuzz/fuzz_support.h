// What the fuzz targets share: a failed check aborts (libFuzzer reports it as a crash), the log
// line reader, and the unit tests' fakes of the platform parts the settings code reaches.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "fakes/fake_system.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

// Each target is one file of checks on the program's own names, included by nothing else.
using namespace velmora;

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// An escaped log text read back to its UTF-16 units, aborting unless it is one safe line:
// valid UTF-8 with no C0 or C1 control, DEL, bare quote, line or paragraph separator,
// bidirectional control or BOM; a backslash only before \ " or a hex escape (\xHH, \uHHHH).
inline std::u16string ReadLogText(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    Require(lead >= 0x20 && lead != 0x7F && lead != '"' &&
            (lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4)));
    if (lead == '\\') {
      const char kind = i + 1 < s.size() ? s[i + 1] : 0;
      const size_t digits = kind == 'x' ? 2 : kind == 'u' ? 4 : 0;
      const std::string hex = s.substr(std::min(i + 2, s.size()), digits);
      Require(hex.size() == digits && hex.find_first_not_of("0123456789ABCDEF") == hex.npos);
      Require(digits != 0 || kind == '\\' || kind == '"');
      out += digits ? static_cast<char16_t>(std::stoul(hex, nullptr, 16)) : kind;
      i += 2 + digits;
      continue;
    }
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    uint32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = i + 1; k < i + length; ++k) {
      Require(k < s.size() && (s[k] & 0xC0) == 0x80);
      cp = (cp << 6) | (s[k] & 0x3F);
    }
    constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    Require(cp >= kShortest[length] && cp <= 0x10FFFF);
    constexpr uint32_t kForbidden[][2] = {{0x80, 0x9F},     {0x061C, 0x061C}, {0x200B, 0x200F},
                                          {0x2028, 0x202E}, {0x2060, 0x2069}, {0xD800, 0xDFFF},
                                          {0xFEFF, 0xFEFF}};
    for (const auto& range : kForbidden) Require(cp < range[0] || cp > range[1]);
    if (cp >= 0x10000) out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(cp >= 0x10000 ? 0xDC00 + (cp & 0x3FF) : cp);
    i += length;
  }
  return out;
}

// The registry, last error and code page the settings code reaches, fresh for one input.
struct FuzzPlatform {
  fakes::FakeRegistry registry;
  fakes::FakeKernel kernel;
  fakes::FakeCodePage codePage;

  FuzzPlatform() { InstallPlatform({&registry, &kernel, nullptr, nullptr, &codePage}); }
  // A value under the policy key, where the machine's settings are read first.
  void Set(const std::wstring& name, uint32_t type, std::vector<uint8_t> bytes) {
    registry.SetRaw(Hive::kLocalMachine, fakes::FakeRegistry::View::k64, kPolicyKeyPath, name, type,
                    std::move(bytes));
  }
};
