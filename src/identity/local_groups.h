// The local Administrators group and its direct members. Every answer is read afresh from the
// platform; nothing is cached, and nothing here ever changes a membership.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// The localized name of the built-in Administrators group (S-1-5-32-544). False, *name
// untouched, when the identifier cannot be built or resolved.
bool GetAdminGroupName(std::wstring* name);

// Whether one of the group's direct members is exactly `user` (domain\name; letter case
// matters, nothing is normalised). False as well when the members cannot be read; membership
// through a nested group does not count.
bool IsUserInLocalGroup(const std::wstring& user, const std::wstring& group);

// IsUserInLocalGroup of GetQualifiedUserName and GetAdminGroupName. When the group name cannot
// be found it shows "Cannot obtain admin group name" (no owner, caption "Error") and answers
// false once the box is dismissed. Any thread.
bool IsCurrentUserAdmin();

// Appends the group's direct members (domain\name, in the platform's order) to *members.
// False, list unchanged, when the platform refuses the query.
bool GetLocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members);

}  // namespace velmora
