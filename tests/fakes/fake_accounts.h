// Local accounts in memory. A group that is absent, or present without a member list, cannot
// be queried; nullopt names make their query fail.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/accounts.h"

namespace velmora::fakes {

class FakeAccounts : public Accounts {
 public:
  std::optional<std::wstring> groupName = L"Administrators";
  std::map<std::wstring, std::optional<std::vector<std::wstring>>> groups = {
      {L"Administrators", std::vector<std::wstring>{L"WORKSTATION\\Administrator"}}};
  std::optional<std::wstring> userName = L"user";
  std::optional<std::wstring> displayName = L"Test User";

  bool AdministratorsGroupName(std::wstring* name) override { return Answer(groupName, name); }
  bool LocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) override {
    const auto it = groups.find(group);
    if (it == groups.end() || !it->second) return false;
    members->insert(members->end(), it->second->begin(), it->second->end());
    return true;
  }
  bool UserName(std::wstring* name) override { return Answer(userName, name); }
  bool DisplayName(std::wstring* name) override { return Answer(displayName, name); }

 private:
  static bool Answer(const std::optional<std::wstring>& value, std::wstring* out) {
    if (value) *out = *value;
    return value.has_value();
  }
};

}  // namespace velmora::fakes
