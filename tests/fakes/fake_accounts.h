// Local accounts in memory: a scripted Administrators group name, members per group and the
// user's names, each of which can be made to fail; counts the member queries. Safe from any
// thread (the shell-hook thread asks too).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/accounts.h"

namespace velmora::fakes {

class FakeAccounts : public Accounts {
 public:
  // The defaults: user "user" and an "Administrators" group holding only the built-in
  // administrator of the machine "WORKSTATION". USERDOMAIN is the test's to set (FakeFiles).
  FakeAccounts();

  bool AdministratorsGroupName(std::wstring* name) override;
  bool LocalGroupMembers(const std::wstring& group, std::vector<std::wstring>* members) override;
  bool UserName(std::wstring* name) override;
  bool DisplayName(std::wstring* name) override;

  // nullopt makes the call fail.
  void SetAdminGroupName(std::optional<std::wstring> name);
  // A group that is never set does not exist: its query fails.
  void SetGroupMembers(const std::wstring& group, std::vector<std::wstring> members);
  void FailGroupQuery(const std::wstring& group);
  void SetUserName(std::optional<std::wstring> name);
  void SetDisplayName(std::optional<std::wstring> name);

  int member_queries() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::wstring> groupName_;
  std::map<std::wstring, std::optional<std::vector<std::wstring>>> groups_;
  std::optional<std::wstring> userName_;
  std::optional<std::wstring> displayName_;
  int memberQueries_ = 0;
};

}  // namespace velmora::fakes
