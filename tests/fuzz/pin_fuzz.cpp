// Arbitrary bytes as the help-desk PIN exchange, in lines: a user code, the stored SharedToken
// text, a PIN as typed, then the list of used PINs, whose bytes are also the service desk's
// random numbers. Beyond the sanitizers: a token text decodes exactly when it is pairs of
// digits, and encodes back to itself; a PIN the service desk makes for a code passes the
// tray's check; a PIN the check accepts is six digits and passes only once.
#include <sstream>

#include "elevation/pin.h"
#include "fuzz_support.h"
#include "text/utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream input(std::string(data, data + size));
  std::string code, tokenText, typed, used, token, pin, error;
  for (std::string* line : {&code, &tokenText, &typed}) std::getline(input, *line);
  std::getline(input, used, '\0');

  const bool pairsOfDigits = tokenText.size() >= 2 && tokenText.size() % 2 == 0 &&
                             tokenText.find_first_not_of("0123456789") == std::string::npos;
  Require(DecodeSharedToken(tokenText, &token) == pairsOfDigits);
  std::string encoded;
  for (const char byte : token) {
    const int pair = static_cast<uint8_t>(byte) ^ std::stoi(tokenText.substr(tokenText.size() - 2));
    encoded += {static_cast<char>('0' + pair / 10), static_cast<char>('0' + pair % 10)};
  }
  Require(!pairsOfDigits || encoded + tokenText.substr(tokenText.size() - 2) == tokenText);

  FuzzPlatform platform;
  const auto text = [&](const std::string& narrow) {
    return ToUtf16LeBytes(platform.codePage.AnsiToWide(narrow), true);
  };
  platform.Set(L"SharedToken", reg::kRegSz, text(tokenText));
  size_t draws = 0;
  const auto random = [&] { return used.empty() ? 0u : uint8_t(used[draws++ % used.size()]); };
  if (MakePin(code, tokenText, random, &pin, &error)) {
    Require(CheckPin(code, pin));
    RecordUsedPin(pin);
    Require(!CheckPin(code, pin));
  } else {
    Require(!error.empty());
  }
  platform.Set(L"hwid", reg::kRegSz, text(used), Hive::kCurrentUser);
  if (CheckPin(code, typed)) {
    Require(typed.size() == 6 && typed.find_first_not_of("0123456789") == std::string::npos);
    RecordUsedPin(typed);
    Require(!CheckPin(code, typed));
  }
  return 0;
}
