// Who the user is and whether the local Administrators group lists them: exact comparisons,
// the parts that cannot be read, and the name shown by Identity.
#include "identity/identity.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "identity/local_groups.h"
#include "test_support.h"

namespace velmora::test {
namespace {

class IdentityTest : public TrayTest {
 protected:
  void SetUp() override { fake.files.SetEnvironment(L"USERDOMAIN", L"WORKSTATION"); }
  void SetAdmins(std::vector<std::wstring> members) {
    fake.accounts.groups[L"Administrators"] = std::move(members);
  }
  // nullopt: none given, the stored setting counts.
  std::wstring ShownName(const std::optional<std::wstring>& identity) {
    CMainDlg dialog;
    dialog.UpdateIdentityName(identity);
    return dialog.identityName();
  }
};

TEST_F(IdentityTest, MembershipIsAnExactDirectEntry) {
  SetAdmins({L"WORKSTATION\\Administrator", L"CORP\\Domain Admins", L"CORP\\Alice"});
  EXPECT_TRUE(IsUserInLocalGroup(L"CORP\\Alice", L"Administrators"));
  // Letter case counts; a member of "CORP\Domain Admins" is not a direct member.
  for (const wchar_t* user : {L"CORP\\alice", L"corp\\Alice", L"Alice", L"CORP\\Bob"}) {
    EXPECT_FALSE(IsUserInLocalGroup(user, L"Administrators")) << user;
  }
  std::vector<std::wstring> members = {L"kept"};
  EXPECT_TRUE(GetLocalGroupMembers(L"Administrators", &members));
  EXPECT_EQ(4u, members.size());
  fake.accounts.groups[L"Administrators"].reset();  // the query fails
  EXPECT_FALSE(IsUserInLocalGroup(L"CORP\\Alice", L"Administrators"));
  EXPECT_FALSE(GetLocalGroupMembers(L"Administrators", &members));
  EXPECT_EQ(4u, members.size());
}

TEST_F(IdentityTest, CurrentUserIsLookedUpByQualifiedNameInTheLocalizedGroup) {
  fake.accounts.groupName = L"Administratoren";
  fake.accounts.groups[L"Administratoren"] = std::vector<std::wstring>{L"WORKSTATION\\user"};
  EXPECT_TRUE(IsCurrentUserAdmin());
  EXPECT_TRUE(fake.shell.boxes.empty());

  // An undefined USERDOMAIN stays literal and names nobody.
  FakePlatform local;
  local.accounts.groups[L"Administrators"] = std::vector<std::wstring>{L"\\user"};
  EXPECT_EQ(L"%USERDOMAIN%\\user", GetQualifiedUserName());
  EXPECT_FALSE(IsCurrentUserAdmin());
}

TEST_F(IdentityTest, MissingGroupNameShowsOneBoxAndAnswersNotAdmin) {
  SetAdmins({L"WORKSTATION\\user"});
  fake.accounts.groupName.reset();
  EXPECT_FALSE(IsCurrentUserAdmin());
  EXPECT_EQ(L"Error: Cannot obtain admin group name (16)", Boxes(fake));
  std::wstring name = L"unchanged";
  EXPECT_FALSE(GetAdminGroupName(&name));
  EXPECT_EQ(L"unchanged", name);
}

TEST_F(IdentityTest, QualifiedNameLeavesOutAPartThatCannotBeReadWhole) {
  const struct {
    std::optional<std::wstring> domain;  // nullopt: the expansion fails
    std::optional<std::wstring> user;
    std::wstring qualified;
  } cases[] = {{L"WORKSTATION", L"user", L"WORKSTATION\\user"},
               {std::wstring(299, L'D'), L"user", std::wstring(299, L'D') + L"\\user"},
               // 300 characters do not fit the buffer with their NUL: no cut name, no part at all.
               {std::wstring(300, L'D'), L"user", L"\\user"},
               {std::nullopt, L"user", L"\\user"},
               {L"CORP", std::nullopt, L"CORP\\"},
               {L"CORP", std::wstring(299, L'u'), L"CORP\\" + std::wstring(299, L'u')},
               {L"CORP", std::wstring(300, L'u'), L"CORP\\"}};
  for (const auto& c : cases) {
    fake.files.expandFails = !c.domain;
    fake.files.SetEnvironment(L"USERDOMAIN", c.domain.value_or(L""));
    fake.accounts.userName = c.user;
    EXPECT_EQ(c.qualified, GetQualifiedUserName()) << c.qualified.size();
  }
}

TEST_F(IdentityTest, ShownNameFollowsTheIdentitySettingAndFallsBack) {
  EXPECT_EQ(L"user", ShownName(std::nullopt));  // missing: "1"
  SetMachine(L"Identity", 3);
  EXPECT_EQ(L"WORKSTATION\\user", ShownName(std::nullopt));
  SetMachine(L"Identity", 2, kPolicy);  // the policy key wins
  EXPECT_EQ(L"Test User", ShownName(std::nullopt));
  EXPECT_EQ(L"user", ShownName(L"1"));  // a value given is used as it is
  EXPECT_EQ(L"", ShownName(L""));       // so is no choice: it is not the stored one
  for (uint32_t other : {0u, 4u}) {
    SetMachine(L"Identity", other, kPolicy);
    EXPECT_EQ(L"", ShownName(std::nullopt)) << other;
  }
  EXPECT_EQ(L"", ShownName(L" 1"));
  EXPECT_EQ(L"", ShownName(L"01"));

  for (const std::optional<std::wstring>& display :
       {std::optional<std::wstring>(), std::optional<std::wstring>(L"")}) {
    fake.accounts.displayName = display;
    EXPECT_EQ(L"user", ShownName(L"2"));
  }
  fake.accounts.userName.reset();
  EXPECT_EQ(L"the current user", ShownName(L"1"));
  EXPECT_EQ(L"the current user", ShownName(L"2"));
  // The qualified name keeps its own rule: an empty name part.
  EXPECT_EQ(L"WORKSTATION\\", ShownName(L"3"));
}

}  // namespace
}  // namespace velmora::test
