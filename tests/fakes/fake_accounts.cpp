#include "fakes/fake_accounts.h"

#include <cwctype>
#include <utility>

namespace velmora::fakes {
namespace {

// Group names are case-insensitive on Windows.
std::wstring Key(std::wstring name) {
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return name;
}

}  // namespace

FakeAccounts::FakeAccounts()
    : groupName_(L"Administrators"), userName_(L"user"), displayName_(L"Test User") {
  groups_[Key(L"Administrators")] = std::vector<std::wstring>{L"WORKSTATION\\Administrator"};
}

bool FakeAccounts::AdministratorsGroupName(std::wstring* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!groupName_) return false;
  *name = *groupName_;
  return true;
}

bool FakeAccounts::LocalGroupMembers(const std::wstring& group,
                                     std::vector<std::wstring>* members) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++memberQueries_;
  auto it = groups_.find(Key(group));
  if (it == groups_.end() || !it->second) return false;
  members->insert(members->end(), it->second->begin(), it->second->end());
  return true;
}

bool FakeAccounts::UserName(std::wstring* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!userName_) return false;
  *name = *userName_;
  return true;
}

bool FakeAccounts::DisplayName(std::wstring* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!displayName_) return false;
  *name = *displayName_;
  return true;
}

void FakeAccounts::SetAdminGroupName(std::optional<std::wstring> name) {
  std::lock_guard<std::mutex> lock(mutex_);
  groupName_ = std::move(name);
}

void FakeAccounts::SetGroupMembers(const std::wstring& group, std::vector<std::wstring> members) {
  std::lock_guard<std::mutex> lock(mutex_);
  groups_[Key(group)] = std::move(members);
}

void FakeAccounts::FailGroupQuery(const std::wstring& group) {
  std::lock_guard<std::mutex> lock(mutex_);
  groups_[Key(group)] = std::nullopt;
}

void FakeAccounts::SetUserName(std::optional<std::wstring> name) {
  std::lock_guard<std::mutex> lock(mutex_);
  userName_ = std::move(name);
}

void FakeAccounts::SetDisplayName(std::optional<std::wstring> name) {
  std::lock_guard<std::mutex> lock(mutex_);
  displayName_ = std::move(name);
}

int FakeAccounts::member_queries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memberQueries_;
}

}  // namespace velmora::fakes
