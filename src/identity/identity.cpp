#include "identity/identity.h"

#include "platform/platform.h"

namespace velmora {
namespace {

constexpr size_t kNameBufferChars = 300;

std::wstring ReadLogonName() {
  std::wstring name;
  if (!Users().UserName(&name) || name.size() >= kNameBufferChars) return std::wstring();
  return name;
}

std::wstring ReadUserDomain() {
  std::wstring domain;
  const uint32_t needed = Fs().ExpandEnvironment(L"%USERDOMAIN%", &domain);
  if (needed == 0 || needed > kNameBufferChars || domain.size() >= kNameBufferChars) {
    return std::wstring();
  }
  return domain;
}

}  // namespace

std::wstring GetQualifiedUserName() { return ReadUserDomain() + L"\\" + ReadLogonName(); }

std::wstring IdentityNameFor(const std::wstring& identity) {
  std::wstring logonName;
  if (!Users().UserName(&logonName) || logonName.empty()) logonName = L"the current user";
  if (identity == L"1") return logonName;
  if (identity == L"2") {
    std::wstring displayName;
    // An account without a full name answers an empty one; the logon name says more.
    if (Users().DisplayName(&displayName) && !displayName.empty()) return displayName;
    return logonName;
  }
  if (identity == L"3") return GetQualifiedUserName();
  return std::wstring();
}

}  // namespace velmora
