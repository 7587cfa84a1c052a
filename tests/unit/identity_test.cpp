// Who the user is and whether the local Administrators group lists them: exact comparisons,
// the parts that cannot be read, and the name shown by Identity.
#include <tuple>

#include "app/main_dlg.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using IdentityTest = TrayTest;

TEST_F(IdentityTest, AdministratorIsAnExactDirectMemberOfTheGroupByItsLocalizedName) {
  fake.accounts.groupName = L"Administratoren";
  fake.accounts.groups = {{L"Administrators", std::vector<std::wstring>{L"WORKSTATION\\user"}}};
  EXPECT_FALSE(IsCurrentUserAdmin()) << "the members cannot be read";
  // Letter case counts; a member of "CORP\Domain Admins" is not a direct member.
  for (const std::wstring member : {L"WORKSTATION\\user", L"WORKSTATION\\User",
                                    L"workstation\\user", L"user", L"CORP\\Domain Admins"}) {
    fake.accounts.groups[L"Administratoren"] = std::vector<std::wstring>{L"CORP\\x", member};
    EXPECT_EQ(IsCurrentUserAdmin(), member == L"WORKSTATION\\user") << member;
  }
  // Without the group's name nobody is an administrator, whatever "Administrators" lists.
  fake.accounts.groupName.reset();
  EXPECT_FALSE(IsCurrentUserAdmin());
  EXPECT_EQ(fake.shell.boxes, L"Error: Cannot obtain admin group name (16)");
}

TEST_F(IdentityTest, QualifiedNameLeavesOutAPartThatCannotBeReadWhole) {
  // The domain (nothing: the expansion fails), the logon name, the result. 300 characters do not
  // fit the buffer with their NUL: no cut name, no part at all.
  const std::tuple<std::optional<std::wstring>, std::wstring, std::wstring> cases[] = {
      {std::wstring(299, L'D'), L"user", std::wstring(299, L'D') + L"\\user"},
      {std::wstring(300, L'D'), L"user", L"\\user"},
      {std::nullopt, L"user", L"\\user"},
      {L"CORP", std::wstring(299, L'u'), L"CORP\\" + std::wstring(299, L'u')},
      {L"CORP", std::wstring(300, L'u'), L"CORP\\"}};
  for (const auto& [domain, user, qualified] : cases) {
    fake.files.expandFails = !domain;
    fake.files.SetEnvironment(L"USERDOMAIN", domain.value_or(L""));
    fake.accounts.userName = user;
    EXPECT_EQ(GetQualifiedUserName(), qualified) << qualified.size();
  }
}

TEST_F(IdentityTest, ShownNameFollowsTheIdentitySettingAndFallsBack) {
  const auto shown = [](const std::optional<std::wstring>& identity) {
    CMainDlg dialog;  // nothing given: the stored setting, "1" when missing
    dialog.UpdateIdentityName(identity);
    return dialog.identityName();
  };
  EXPECT_EQ(shown(std::nullopt), L"user");
  SetMachine(L"Identity", 2);
  EXPECT_EQ(shown(std::nullopt), L"Test User");
  for (const wchar_t* other : {L"", L" 1", L"01", L"4"}) EXPECT_EQ(shown(other), L"") << other;
  fake.accounts.displayName = L"";  // an account without a full name
  EXPECT_EQ(shown(L"2"), L"user");
  fake.accounts.displayName.reset();
  EXPECT_EQ(shown(L"2"), L"user");
  fake.accounts.userName.reset();
  EXPECT_EQ(shown(L"1") + shown(L"2"), L"the current userthe current user");
  EXPECT_EQ(shown(L"3"), L"WORKSTATION\\") << "the qualified name keeps its own rule";
}

}  // namespace
}  // namespace velmora::test
