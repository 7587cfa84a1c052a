// Local accounts and groups, as the local security authority and the network API see them.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class Accounts {
 public:
  virtual ~Accounts() = default;

  // Name (without domain) of the well-known built-in Administrators SID (S-1-5-32-544) as the
  // local system resolves it, localized. False, name untouched, when the SID cannot be built
  // or resolved.
  virtual bool AdministratorsGroupName(std::wstring* name) = 0;
  // Direct members of a local group, domain\name form (level 3), in the platform's order,
  // appended to members. False, members untouched, when the query is refused.
  virtual bool LocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) = 0;
  // GetUserNameW (300-character buffer). False on failure.
  virtual bool UserName(std::wstring* name) = 0;
  // GetUserNameExW(NameDisplay) (600-character buffer). False on failure.
  virtual bool DisplayName(std::wstring* name) = 0;
};

}  // namespace velmora
