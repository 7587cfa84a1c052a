#include "identity/local_groups.h"

#include "identity/identity.h"
#include "platform/platform.h"

namespace velmora {

bool GetAdminGroupName(std::wstring* name) {
  std::wstring resolved;
  if (!Users().AdministratorsGroupName(&resolved)) return false;
  *name = std::move(resolved);
  return true;
}

bool IsUserInLocalGroup(const std::wstring& user, const std::wstring& group) {
  std::vector<std::wstring> members;
  if (!Users().LocalGroupMembers(group, &members)) return false;
  for (const std::wstring& member : members) {
    if (member == user) return true;
  }
  return false;
}

bool IsCurrentUserAdmin() {
  const std::wstring user = GetQualifiedUserName();
  std::wstring group;
  if (!GetAdminGroupName(&group)) {
    ShellUi().ShowMessageBox(nullptr, L"Cannot obtain admin group name", L"Error",
                        win::kMbOk | win::kMbIconError);
    return false;
  }
  return IsUserInLocalGroup(user, group);
}

bool GetLocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) {
  return Users().LocalGroupMembers(group, members);
}

}  // namespace velmora
