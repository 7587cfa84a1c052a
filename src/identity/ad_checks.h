// The two directory checks and their text helpers. Each check initialises COM for its thread,
// logs a trace, releases what it obtained on every path and answers a verdict with an error
// flag: true when the directory could not answer (the verdict is then false).
#pragma once

#include <string>

namespace velmora {

// Is the current user the person named in this computer's "managedBy"? Exact comparison.
bool CheckADUser(bool* error);
// Is `group` the common name of one of the user's "memberOf" groups? Exact comparison.
bool CheckADUserGroup(const std::wstring& group, bool* error);

// The text after the first startMarker and before the next endMarker (a null marker stands for
// the start or the end of source). False, out untouched, when a marker is missing or the text
// between is empty.
bool ExtractString(const std::wstring& source, const wchar_t* startMarker,
                   const wchar_t* endMarker, std::wstring* out);

// A distinguished name, as the directory escapes it, made fit for an "LDAP://" path: its escape
// pairs stay as they are and each bare "/" (the path's own separator) gets a backslash. Both
// checks bind by it.
std::wstring EscapeDnForLdapPath(const std::wstring& dn);

}  // namespace velmora
