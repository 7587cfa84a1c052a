#include "elevation/pin.h"

#include <vector>

#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

constexpr size_t kPinLength = 6;
constexpr size_t kUserCodeLength = 4;
constexpr size_t kKeyLength = 4;
// Draws before a code or PIN is built to fit instead: a generator stuck on one value must not
// keep the user (or the service desk) waiting for ever.
constexpr int kMaxDraws = 1000;

bool AllDigits(const std::string& text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

char NineClass(unsigned value) { return static_cast<char>('0' + value % 9); }

// The class the PIN must have for this token and user code; false when the code cannot take a
// PIN with this token.
bool CodeClass(const std::string& token, const std::string& userCode, char* expected) {
  const uint8_t a = XorBytes(token + userCode);
  if (a == 0 || a == 1) return false;
  *expected = NineClass(a);
  return true;
}

char CheckDigit(const std::string& pin5) {
  unsigned sum = 0;
  for (char c : pin5) sum += static_cast<uint8_t>(c);
  return NineClass(sum);
}

// The well-formed keys of "hwid", in order; false when the list is too long to be the tray's.
bool UsedPinKeys(std::vector<std::string>* keys) {
  std::wstring list;
  ReadUserString(L"hwid", list);
  if (list.size() > kMaxUsedPinListChars) {
    Log("CheckPin. The list of used PINs (hwid) is longer than %u characters: every PIN counts "
        "as used until it is removed",
        static_cast<unsigned>(kMaxUsedPinListChars));
    return false;
  }
  const std::string narrow = AnsiCodePage().WideToAnsi(list);
  for (size_t at = 0; at < narrow.size(); at += kKeyLength) {
    const std::string key = narrow.substr(at, kKeyLength);
    if (key.size() == kKeyLength && AllDigits(key)) keys->push_back(key);
  }
  return true;
}

bool Refuse(const char* why) {
  Log("CheckPin. Refused: %s.", why);
  return false;
}

}  // namespace

uint8_t XorBytes(const std::string& text) {
  uint8_t value = 0;
  for (char c : text) value ^= static_cast<uint8_t>(c);
  return value;
}

std::string RandomDigits(size_t n) {
  std::string digits;
  for (size_t i = 0; i < n; ++i) digits += "0123456789"[Kern().RandomNumber() % 10];
  return digits;
}

std::string MakeUserCode() {
  std::wstring name;
  Kern().ComputerName(&name);
  const char target = NineClass(XorBytes(AnsiCodePage().WideToAnsi(name)));
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    const std::string code = RandomDigits(kUserCodeLength);
    if (NineClass(XorBytes(code)) == target) return code;
  }
  // The XOR of "000" and a digit d is d itself.
  return std::string("000") + target;
}

bool DecodeSharedToken(const std::string& text, std::string* token) {
  if (text.size() < 2 || text.size() % 2 != 0 || !AllDigits(text)) return false;
  std::string bytes;
  for (size_t at = 0; at < text.size(); at += 2) {
    bytes += static_cast<char>((text[at] - '0') * 10 + (text[at + 1] - '0'));
  }
  const char mask = bytes.back();
  bytes.pop_back();
  for (char& byte : bytes) byte = static_cast<char>(byte ^ mask);
  *token = bytes;
  return true;
}

std::string PinUsageKey(const std::string& pin) {
  const auto twoDigits = [](unsigned value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
  };
  const std::string last = pin.size() > 3 ? pin.substr(pin.size() - 3) : std::string();
  return twoDigits(XorBytes(pin.substr(0, 3))) + twoDigits(XorBytes(last));
}

bool CheckPin(const std::string& userCode, const std::string& pin) {
  if (pin.size() != kPinLength || !AllDigits(pin)) return Refuse("the PIN is not six digits");
  const char check = pin[kPinLength - 1];
  const std::string pin5 = pin.substr(0, kPinLength - 1);

  std::wstring stored;
  ReadMachineString(L"SharedToken", stored);
  if (stored.empty()) return Refuse("SharedToken is not set");
  std::string token;
  if (!DecodeSharedToken(AnsiCodePage().WideToAnsi(stored), &token)) {
    return Refuse("SharedToken is not an even number of digits");
  }
  char expected = 0;
  if (!CodeClass(token, userCode, &expected)) {
    return Refuse("no PIN answers this user code with this token");
  }
  const uint8_t b = XorBytes(pin5);
  if (b == 0 || b == 1) return Refuse("the PIN does not answer the user code");
  if (!IsPinNotYetUsed(pin)) return Refuse("the PIN was used before");
  if (NineClass(b) != expected || CheckDigit(pin5) != check) {
    return Refuse("the PIN does not answer the user code");
  }
  return true;
}

bool IsPinNotYetUsed(const std::string& pin) {
  std::vector<std::string> keys;
  if (!UsedPinKeys(&keys)) return false;
  const std::string key = PinUsageKey(pin);
  for (const std::string& used : keys) {
    if (used == key) return false;
  }
  return true;
}

void RecordUsedPin(const std::string& pin) {
  std::vector<std::string> keys;
  UsedPinKeys(&keys);
  std::string list;
  for (const std::string& key : keys) list += key;
  list += PinUsageKey(pin);
  WriteUserString(L"hwid", AnsiCodePage().AnsiToWide(list));
}

bool MakePin(const std::string& userCode, const std::string& tokenText,
             const std::function<uint32_t()>& random, std::string* pin, std::string* error) {
  if (userCode.size() != kUserCodeLength || !AllDigits(userCode)) {
    *error = "the user code must be the four digits the user's dialog shows";
    return false;
  }
  std::string token;
  if (!DecodeSharedToken(tokenText, &token)) {
    *error = "the token must be the SharedToken text: an even number of digits, two at least";
    return false;
  }
  char expected = 0;
  if (!CodeClass(token, userCode, &expected)) {
    *error = "no PIN answers this user code with this token: ask the user to open the dialog "
             "again for a new code";
    return false;
  }
  std::string pin5;
  for (int draw = 0; draw < kMaxDraws && pin5.empty(); ++draw) {
    std::string digits;
    for (size_t i = 0; i + 1 < kPinLength; ++i) digits += "0123456789"[random() % 10];
    if (NineClass(XorBytes(digits)) == expected) pin5 = digits;
  }
  // The XOR of "0000" and a digit is that digit's byte, 48 + d, whose class is (3 + d) mod 9.
  if (pin5.empty()) pin5 = std::string("0000") + static_cast<char>('0' + (expected - '0' + 6) % 9);
  *pin = pin5 + CheckDigit(pin5);
  return true;
}

}  // namespace velmora
