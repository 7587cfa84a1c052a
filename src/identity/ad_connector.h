// The directory connector: runs the directory checks at start-up and, when a refresh interval
// is set, again on a thread of its own; publishes g_bADUserValid and g_bADUserGroupValid. A
// verdict obtained from the directory is recorded with its local file time in the user's key
// (checkpoint1/setting1 for managedBy, checkpoint2/setting2 for the group); when a later check
// cannot reach the directory, a recorded verdict younger than ActiveDirectoryCache days stands in.
#pragma once

#include <string>

namespace velmora {

// On the main thread during start-up; returns when the first run has ended.
void StartADConnector();
// One run of both requirements with the group's common name and the cache setting's text.
void DoADConnectorLogic(const std::wstring& group, const std::wstring& cacheText);
// The refresh thread: re-runs the checks every ActiveDirectoryRefresh minutes for ever.
void ADConnectorTh();

}  // namespace velmora
