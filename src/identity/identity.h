// The current user's names: the qualified form the local groups list and the service receives,
// and the form shown to the user by the Identity setting.
#pragma once

#include <string>

namespace velmora {

// USERDOMAIN, a backslash and the logon name. Never fails: a part that cannot be read stays
// empty. An undefined USERDOMAIN stays the literal text "%USERDOMAIN%", as the expansion leaves
// it. Each part is read as into a 300-character buffer: a part that would need more than 299
// characters cannot be read and is empty (a cut name would name somebody else).
std::wstring GetQualifiedUserName();

// The name shown for an Identity choice, compared exactly: "1" the logon name, "2" the display
// name (the logon name when there is none), "3" the qualified name, anything else empty. A
// logon name that cannot be read is "the current user".
std::wstring IdentityNameFor(const std::wstring& identity);

}  // namespace velmora
