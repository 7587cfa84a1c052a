// Who the user is and whether the local Administrators group lists them: exact comparisons,
// the parts that cannot be read, and the name shown by Identity.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "test_support.h"

namespace velmora::test {
namespace {

class IdentityTest : public TrayTest {
 protected:
  void SetUp() override { fake.files.SetEnvironment(L"USERDOMAIN", L"WORKSTATION"); }
  std::wstring ShownName(const std::optional<std::wstring>& identity) {
    CMainDlg dialog;
    dialog.UpdateIdentityName(identity);
    return dialog.identityName();
  }
};

TEST_F(IdentityTest, AdministratorIsAnExactDirectMemberOfTheLocalizedGroup) {
  fake.accounts.groupName = L"Administratoren";
  fake.accounts.groups[L"Administratoren"] = std::vector<std::wstring>{
      L"WORKSTATION\\Administrator", L"CORP\\Domain Admins", L"WORKSTATION\\user"};
  EXPECT_TRUE(IsCurrentUserAdmin());
  // Letter case counts; a member of "CORP\Domain Admins" is not a direct member.
  for (const wchar_t* user : {L"WORKSTATION\\User", L"workstation\\user", L"user", L"CORP\\Bob"}) {
    EXPECT_FALSE(IsUserInLocalGroup(user, L"Administratoren")) << user;
  }
  std::vector<std::wstring> members = {L"kept"};
  EXPECT_TRUE(GetLocalGroupMembers(L"Administratoren", &members));
  EXPECT_EQ(members.size(), 4u);
  fake.accounts.groups[L"Administratoren"].reset();  // the query fails
  fake.accounts.groups[L"Administrators"] = std::vector<std::wstring>{L"WORKSTATION\\user"};
  EXPECT_FALSE(IsCurrentUserAdmin());
  EXPECT_FALSE(GetLocalGroupMembers(L"Administratoren", &members));
  EXPECT_EQ(members.size(), 4u);
  // Without the group's name nobody is an administrator, whatever "Administrators" lists.
  fake.accounts.groupName.reset();
  EXPECT_FALSE(IsCurrentUserAdmin());
  EXPECT_EQ(Boxes(fake), L"Error: Cannot obtain admin group name (16)");
  std::wstring name = L"unchanged";
  EXPECT_FALSE(GetAdminGroupName(&name));
  EXPECT_EQ(name, L"unchanged");
}

TEST_F(IdentityTest, QualifiedNameLeavesOutAPartThatCannotBeReadWhole) {
  const struct {
    std::optional<std::wstring> domain;  // nothing: the expansion fails
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
    EXPECT_EQ(GetQualifiedUserName(), c.qualified) << c.qualified.size();
  }
  FakePlatform undefined;  // an undefined USERDOMAIN stays literal and names nobody
  EXPECT_EQ(GetQualifiedUserName(), L"%USERDOMAIN%\\user");
}

TEST_F(IdentityTest, ShownNameFollowsTheIdentitySettingAndFallsBack) {
  EXPECT_EQ(ShownName(std::nullopt), L"user");  // missing: "1"
  SetMachine(L"Identity", 3);
  EXPECT_EQ(ShownName(std::nullopt), L"WORKSTATION\\user");
  SetMachine(L"Identity", 2, kPolicy);  // the policy key wins
  EXPECT_EQ(ShownName(std::nullopt), L"Test User");
  EXPECT_EQ(ShownName(L"1"), L"user");  // a value given is used as it is
  EXPECT_EQ(ShownName(L""), L"");       // so is no choice: it is not the stored one
  for (const wchar_t* other : {L" 1", L"01", L"4"}) EXPECT_EQ(ShownName(other), L"") << other;
  SetMachine(L"Identity", 0, kPolicy);
  EXPECT_EQ(ShownName(std::nullopt), L"");
  for (const std::optional<std::wstring>& display : {std::optional<std::wstring>(), std::optional<std::wstring>(L"")}) {
    fake.accounts.displayName = display;
    EXPECT_EQ(ShownName(L"2"), L"user");
  }
  fake.accounts.userName.reset();
  EXPECT_EQ(ShownName(L"1"), L"the current user");
  EXPECT_EQ(ShownName(L"2"), L"the current user");
  EXPECT_EQ(ShownName(L"3"), L"WORKSTATION\\") << "the qualified name keeps its own rule";
}

}  // namespace
}  // namespace velmora::test
