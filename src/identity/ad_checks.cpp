#include "identity/ad_checks.h"

#include <algorithm>
#include <vector>

#include "log/log.h"
#include "platform/owned.h"

namespace velmora {
namespace {

constexpr wchar_t kLdapPrefix[] = L"LDAP://";

bool Failed(int32_t result) { return result < 0; }

// COM for one check: uninitialised only when this check's initialisation counted.
class ComScope {
 public:
  ComScope() : initialised_(Dir().BeginCom()) {}
  ~ComScope() { End(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  void End() {
    if (initialised_) Dir().EndCom();
    initialised_ = false;
  }

 private:
  bool initialised_;
};

// The common names of a multi-valued memberOf, with the numbered trace the log shows for it.
void CollectFromArray(const std::vector<DirectoryItem>& items, std::vector<std::wstring>* names) {
  for (size_t index = 0;; ++index) {
    if (index > 0) Log("[CheckADUserGroup]4");
    if (index >= items.size()) {
      Log("[CheckADUserGroup]5");
      return;
    }
    const DirectoryItem& item = items[index];
    if (item.type != dir::kTypeString) {
      Log("Ahtung! varItem!=VT_BSTR");
      continue;
    }
    if (item.isNull) {
      Log("Ahtung! varItem.bstrVal==NULL");
      continue;
    }
    Log("[CheckADUserGroup]1");
    std::wstring name;
    if (!ExtractString(item.text, L"CN=", L",", &name)) {
      Log("ExtractString returns FALSE!");
      continue;
    }
    Log("[CheckADUserGroup]2");
    Log("[CheckADUserGroup]21(%S)", item.text);
    Log("CheckUserGroup. memberOf array value: %S", name);
    Log("[CheckADUserGroup]3");
    names->push_back(std::move(name));
  }
}

}  // namespace

bool ExtractString(const std::wstring& source, const wchar_t* startMarker,
                   const wchar_t* endMarker, std::wstring* out) {
  size_t begin = 0;
  if (startMarker != nullptr) {
    const size_t at = source.find(startMarker);
    if (at == std::wstring::npos) return false;
    begin = at + std::char_traits<wchar_t>::length(startMarker);
  }
  size_t end = source.size();
  if (endMarker != nullptr) {
    end = source.find(endMarker, begin);
    if (end == std::wstring::npos) return false;
  }
  if (end <= begin) return false;
  *out = source.substr(begin, end - begin);
  return true;
}

std::wstring EscapeDnForLdapPath(const std::wstring& dn) {
  std::wstring path;
  path.reserve(dn.size() + 8);
  for (size_t i = 0; i < dn.size(); ++i) {
    const wchar_t c = dn[i];
    if (c == L'\\' && i + 1 < dn.size()) {
      // An escape pair of the name (or the first half of a hex pair) stays whole, so an
      // already escaped "\/" is not escaped twice.
      path += c;
      path += dn[++i];
    } else if (c == L'/') {
      path += L"\\/";
    } else {
      path += c;
    }
  }
  return path;
}

bool CheckADUser(bool* error) {
  Log("CheckADUser. Checking ManagedBy attribute for the user...");
  *error = false;
  bool verdict = false;
  Directory& directory = Dir();
  ComScope com;
  {
    // Declared in this order so that the bound object goes before the system information.
    OwnedDirectoryObject info;
    OwnedDirectoryObject computer;
    const char* failure = [&]() -> const char* {
      if (Failed(directory.CreateSystemInfo(info.receive()))) {
        return "Cannot create ADSystemInfo object";
      }
      std::wstring computerName;
      if (Failed(directory.ComputerName(info.get(), &computerName))) {
        return "Cannot retrieve computer name";
      }
      // A user the directory does not know (a local account) has no name: never a match.
      std::wstring userName;
      static_cast<void>(directory.UserName(info.get(), &userName));
      Log("CheckADUser. Current computerName: %S", computerName);
      Log("CheckADUser. Logged on UserName: %S", userName);
      // Escaped like the user's: an OU such as "Sales/Marketing" would otherwise split the path.
      const std::wstring path = kLdapPrefix + EscapeDnForLdapPath(computerName);
      if (Failed(directory.BindObject(path, computer.receive()))) {
        return "Cannot get AD object";
      }
      std::wstring managedBy;
      if (Failed(directory.GetText(computer.get(), L"managedBy", &managedBy))) {
        return "Cannot get ManagedBy";
      }
      verdict = managedBy == userName;
      Log("CheckADUser. ManagedBy: %S", managedBy);
      return nullptr;
    }();
    if (failure != nullptr) {
      Log("CheckADUser. exception. %s", failure);
      *error = true;
      verdict = false;
    }
  }
  com.End();
  return verdict;
}

bool CheckADUserGroup(const std::wstring& group, bool* error) {
  *error = false;
  Directory& directory = Dir();
  ComScope com;
  std::vector<std::wstring> names;
  {
    OwnedDirectoryObject info;
    OwnedDirectoryObject user;
    DirectoryValue memberOf;
    const char* failure = [&]() -> const char* {
      if (Failed(directory.CreateSystemInfo(info.receive()))) {
        return "Cannot create ADSystemInfo object";
      }
      std::wstring userName;
      static_cast<void>(directory.UserName(info.get(), &userName));
      Log("CheckUserGroup. Logged on username: %S", userName);
      const std::wstring escaped = EscapeDnForLdapPath(userName);
      Log("Escaped user name: %S", escaped);
      if (Failed(directory.BindObject(kLdapPrefix + escaped, user.receive()))) {
        return "Cannot get AD object2";
      }
      if (Failed(directory.GetValues(user.get(), L"memberOf", &memberOf))) {
        return "Cannot get MemberOf";
      }
      Log("CheckUserGroup. memberOf type: %u", static_cast<unsigned>(memberOf.type));
      if (memberOf.type == dir::kTypeString) {
        std::wstring name;  // empty when the cut fails
        ExtractString(memberOf.text, L"CN=", L",", &name);
        Log("CheckUserGroup. memberOf value: %S", name);
        names.push_back(std::move(name));
      } else {
        CollectFromArray(memberOf.items, &names);
      }
      return nullptr;
    }();
    if (failure != nullptr) {
      Log("CheckADUserGroup. Exception. %s", failure);
      *error = true;
    }
    memberOf = DirectoryValue();
    Log("[CheckADUserGroup]6");
    user.reset();
    info.reset();
    Log("[CheckADUserGroup]7");
  }
  com.End();
  Log("[CheckADUserGroup]8");
  return std::find(names.begin(), names.end(), group) != names.end();
}

}  // namespace velmora
