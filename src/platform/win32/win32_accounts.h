// Local accounts through the security and network-management APIs.
#pragma once

#include "platform/accounts.h"

namespace velmora {

class Win32Accounts final : public Accounts {
 public:
  bool AdministratorsGroupName(std::wstring* name) override;
  bool LocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) override;
  bool UserName(std::wstring* name) override;
  bool DisplayName(std::wstring* name) override;
};

}  // namespace velmora
