// Who the user is and whether the local Administrators group lists them, against the fake
// accounts: exact comparisons, the parts that cannot be read, and the name shown by Identity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "fakes/fake_platform.h"
#include "identity/identity.h"
#include "identity/local_groups.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

using View = fakes::FakeRegistry::View;

class IdentityTest : public ::testing::Test {
 protected:
  IdentityTest() { fake.files.SetEnvironment(L"USERDOMAIN", L"WORKSTATION"); }

  void SetAdmins(std::vector<std::wstring> members) {
    fake.accounts.SetGroupMembers(L"Administrators", std::move(members));
  }
  void SetIdentity(const wchar_t* path, uint32_t value) {
    fake.registry.SetDword(Hive::kLocalMachine, View::k64, path, L"Identity", value);
  }
  std::wstring ShownName(const std::wstring& identity) {
    CMainDlg dialog;
    dialog.UpdateIdentityName(identity);
    return dialog.identityName();
  }

  fakes::FakePlatform fake;
};

TEST_F(IdentityTest, MembershipIsAnExactDirectEntry) {
  SetAdmins({L"WORKSTATION\\Administrator", L"CORP\\Domain Admins", L"CORP\\Alice"});
  EXPECT_TRUE(IsUserInLocalGroup(L"CORP\\Alice", L"Administrators"));
  EXPECT_FALSE(IsUserInLocalGroup(L"CORP\\alice", L"Administrators"));
  EXPECT_FALSE(IsUserInLocalGroup(L"corp\\Alice", L"Administrators"));
  EXPECT_FALSE(IsUserInLocalGroup(L"Alice", L"Administrators"));
  // A member of "CORP\Domain Admins" is not a direct member.
  EXPECT_FALSE(IsUserInLocalGroup(L"CORP\\Bob", L"Administrators"));

  SetAdmins({});
  EXPECT_FALSE(IsUserInLocalGroup(L"CORP\\Alice", L"Administrators"));
  fake.accounts.FailGroupQuery(L"Administrators");
  EXPECT_FALSE(IsUserInLocalGroup(L"CORP\\Alice", L"Administrators"));
}

TEST_F(IdentityTest, CurrentUserIsLookedUpByQualifiedNameInTheLocalizedGroup) {
  fake.accounts.SetAdminGroupName(std::wstring(L"Administratoren"));
  fake.accounts.SetGroupMembers(L"Administratoren", {L"WORKSTATION\\user"});
  EXPECT_TRUE(IsCurrentUserAdmin());
  EXPECT_TRUE(fake.shell.boxes().empty());
}

TEST(IdentityWithoutDomainTest, UndefinedUserDomainStaysLiteralAndNamesNobody) {
  fakes::FakePlatform fake;
  fake.accounts.SetGroupMembers(L"Administrators", {L"WORKSTATION\\user", L"\\user"});
  EXPECT_EQ(L"%USERDOMAIN%\\user", GetQualifiedUserName());
  EXPECT_FALSE(IsCurrentUserAdmin());
}

TEST_F(IdentityTest, MissingGroupNameShowsOneBoxAndAnswersNotAdmin) {
  SetAdmins({L"WORKSTATION\\user"});
  fake.accounts.SetAdminGroupName(std::nullopt);
  EXPECT_FALSE(IsCurrentUserAdmin());
  const auto boxes = fake.shell.boxes();
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(nullptr, boxes[0].owner);
  EXPECT_EQ(L"Cannot obtain admin group name", boxes[0].text);
  EXPECT_EQ(L"Error", boxes[0].caption);
  EXPECT_EQ(win::kMbOk | win::kMbIconError, boxes[0].type);
  EXPECT_EQ(0, fake.accounts.member_queries());

  std::wstring name = L"unchanged";
  EXPECT_FALSE(GetAdminGroupName(&name));
  EXPECT_EQ(L"unchanged", name);
}

TEST_F(IdentityTest, QualifiedNameKeepsTheOtherPartWhenOneCannotBeRead) {
  EXPECT_EQ(L"WORKSTATION\\user", GetQualifiedUserName());

  fake.files.SetEnvironment(L"USERDOMAIN", std::wstring(299, L'D'));
  EXPECT_EQ(std::wstring(299, L'D') + L"\\user", GetQualifiedUserName());
  // 300 characters do not fit the buffer with their NUL: no cut name, no domain.
  fake.files.SetEnvironment(L"USERDOMAIN", std::wstring(300, L'D'));
  EXPECT_EQ(L"\\user", GetQualifiedUserName());
  fake.files.SetExpandFails(true);
  EXPECT_EQ(L"\\user", GetQualifiedUserName());
  fake.files.SetExpandFails(false);

  fake.files.SetEnvironment(L"USERDOMAIN", L"CORP");
  fake.accounts.SetUserName(std::nullopt);
  EXPECT_EQ(L"CORP\\", GetQualifiedUserName());
  fake.accounts.SetUserName(std::wstring(300, L'u'));
  EXPECT_EQ(L"CORP\\", GetQualifiedUserName());
}

TEST_F(IdentityTest, MembersAreAppendedInOrderOrLeftAlone) {
  SetAdmins({L"CORP\\b", L"CORP\\a"});
  std::vector<std::wstring> members = {L"kept"};
  EXPECT_TRUE(GetLocalGroupMembers(L"Administrators", &members));
  EXPECT_EQ(std::vector<std::wstring>({L"kept", L"CORP\\b", L"CORP\\a"}), members);

  EXPECT_FALSE(GetLocalGroupMembers(L"No Such Group", &members));
  EXPECT_EQ(3u, members.size());
}

TEST_F(IdentityTest, ShownNameFollowsTheIdentitySetting) {
  EXPECT_EQ(L"user", ShownName(L""));  // missing: "1"

  SetIdentity(kProductKeyPath, 3);
  EXPECT_EQ(L"WORKSTATION\\user", ShownName(L""));
  SetIdentity(kPolicyKeyPath, 2);  // the policy key wins
  EXPECT_EQ(L"Test User", ShownName(L""));
  EXPECT_EQ(L"user", ShownName(L"1"));  // a value given is used as it is

  for (uint32_t other : {0u, 4u, 7u}) {
    SetIdentity(kPolicyKeyPath, other);
    EXPECT_EQ(L"", ShownName(L"")) << other;
  }
  EXPECT_EQ(L"", ShownName(L" 1"));
  EXPECT_EQ(L"", ShownName(L"01"));
}

TEST_F(IdentityTest, ShownNameFallsBackWhenANameCannotBeRead) {
  fake.accounts.SetDisplayName(std::nullopt);
  EXPECT_EQ(L"user", ShownName(L"2"));
  fake.accounts.SetDisplayName(std::wstring());
  EXPECT_EQ(L"user", ShownName(L"2"));

  fake.accounts.SetUserName(std::nullopt);
  EXPECT_EQ(L"the current user", ShownName(L"1"));
  EXPECT_EQ(L"the current user", ShownName(L"2"));
  // The qualified name keeps its own rule: an empty name part.
  EXPECT_EQ(L"WORKSTATION\\", ShownName(L"3"));

  CMainDlg dialog;
  dialog.UpdateIdentityName(L"3");
  dialog.UpdateIdentityName(L"4");
  EXPECT_EQ(L"", dialog.identityName());
}

}  // namespace
}  // namespace velmora
