// Arbitrary bytes as the help-desk PIN exchange, in lines: a user code, the stored SharedToken
// text, a PIN as typed, and the list of used PINs, whose bytes are also the service desk's
// random numbers. Beyond the sanitizers: a token text decodes exactly when it is pairs of
// digits, and encodes back to itself; a PIN the service desk makes for a code passes the
// tray's check; a PIN the check accepts is six digits; no PIN passes once it is recorded.
#include <sstream>

#include "elevation/pin.h"
#include "fuzz_support.h"
#include "text/utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream input(std::string(data, data + size));
  std::string code, tokenText, typed, used, token, pin, error, encoded;
  for (std::string* line : {&code, &tokenText, &typed, &used}) std::getline(input, *line);

  const bool pairs = tokenText.size() >= 2 && tokenText.size() % 2 == 0 &&
                     tokenText.find_first_not_of("0123456789") == std::string::npos;
  Require(DecodeSharedToken(tokenText, &token) == pairs);
  // Encoded again: each byte XORed with the mask, as two digits; then the mask.
  const int mask = pairs ? std::stoi(tokenText.substr(tokenText.size() - 2)) : 0;
  for (const char byte : token) encoded += std::to_string(100 + (uint8_t(byte) ^ mask)).substr(1);
  Require(!pairs || encoded + std::to_string(100 + mask).substr(1) == tokenText);

  FuzzPlatform platform;
  const auto checked = [&](const std::string& pin) {  // whether the tray takes it, the first time
    const bool accepted = CheckPin(code, pin);
    RecordUsedPin(pin);
    Require(!CheckPin(code, pin));
    return accepted;
  };
  platform.Set(L"SharedToken", reg::kRegSz,
               ToUtf16LeBytes(platform.codePage.AnsiToWide(tokenText), true));
  size_t draws = 0;
  const auto random = [&] { return used.empty() ? 0u : uint8_t(used[draws++ % used.size()]); };
  Require(MakePin(code, tokenText, random, &pin, &error) ? checked(pin) : !error.empty());
  platform.registry.SetString(Hive::kCurrentUser, fakes::FakeRegistry::View::k64, kProductKeyPath,
                              L"hwid", platform.codePage.AnsiToWide(used));
  Require(!checked(typed) ||
          (typed.size() == 6 && typed.find_first_not_of("0123456789") == std::string::npos));
  return 0;
}
