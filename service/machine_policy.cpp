#include "machine_policy.h"

#include <string>

#include "elevation/request_flow.h"
#include "settings/managed_settings.h"
#include "settings/settings_store.h"

namespace velmora::service {

RequestPolicy ReadRequestPolicy() {
  // The tray loads the document once per logon; the service lives longer than a document.
  LoadManagedSettings(false);
  RequestPolicy policy;
  std::wstring atLogin;
  // Read as the tray's start-up reads it: never from the managed document.
  policy.atLoginAllowed = ReadMachineNumberText(L"ElevateAtLogin", atLogin) && atLogin == L"1";
  policy.accessPeriod = GetAccessPeriod();
  policy.elevateForXDays = GetElevateForXDays();
  policy.longestSeconds = LongestRequestSeconds();
  return policy;
}

}  // namespace velmora::service
