// The help-desk PIN: the tray shows a four-digit user code, the service desk answers with a
// six-digit PIN made from that code and the shared token, and the tray checks it offline, once.
// Texts are narrow (the thread's ANSI code page); every operation works on their bytes.
//
// This is a service-desk workflow, not a security boundary: the token is readable by every user
// of the machine, the check leaves nine candidate classes, and the list of used PINs is the
// user's own registry value. The service's policy is the boundary.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace velmora {

// XOR of every byte; 0 for the empty text.
uint8_t XorBytes(const std::string& text);
// n decimal digits from the system's random generator.
std::string RandomDigits(size_t n);
// Four digits whose XorBytes mod 9 equals that of the computer's name.
std::string MakeUserCode();

// The token bytes of the stored "SharedToken" text: two decimal digits per byte, the last pair
// the mask that every other byte is XORed with. False for a text that is not an even number
// (two at least) of ASCII digits.
bool DecodeSharedToken(const std::string& text, std::string* token);
// "%02u%02u" of the XORs of the PIN's first three and last three bytes.
std::string PinUsageKey(const std::string& pin);

// The whole check, first failing step answers no: six digits; "SharedToken" set and well
// formed; the code's class (neither 0 nor 1); the PIN's class (neither 0 nor 1); not used
// before; the classes agree; the check digit is the sum of the first five mod 9.
bool CheckPin(const std::string& userCode, const std::string& pin);
// The PIN's key is not in "hwid". A list longer than kMaxUsedPinListChars cannot have been
// written by the tray: it is taken as tampered with, and every PIN as used.
bool IsPinNotYetUsed(const std::string& pin);
// Adds the PIN's key to "hwid" (keeping only the well-formed keys already there).
void RecordUsedPin(const std::string& pin);
constexpr size_t kMaxUsedPinListChars = 65536;

// The service desk's side: a PIN that CheckPin accepts for this user code and stored token
// text, its first five digits drawn from `random`. False, with the reason in *error, for a user
// code that is not four digits, a malformed token, or a code and token with no PIN at all.
bool MakePin(const std::string& userCode, const std::string& tokenText,
             const std::function<uint32_t()>& random, std::string* pin, std::string* error);

}  // namespace velmora
