// A netapi32.dll that scenarios put beside a copy of the tray (loaded with
// WINEDLLOVERRIDES=netapi32=n,b). Wine's NetLocalGroupGetMembers answers the caller's bare name
// for every group, so under it the user is never an administrator, a list never has two members
// and a query never fails. Here the groups come from the environment:
//   VELMORA_E2E_GROUPS=Administrators=PC\alice|PC\bob;Staff=PC\carol
// and a group not named there does not exist. Only what the tray imports is exported.
#include <windows.h>

#include <string>
#include <vector>

extern "C" __declspec(dllexport) DWORD WINAPI NetApiBufferFree(void* buffer) {
  return HeapFree(GetProcessHeap(), 0, buffer) ? 0 : ERROR_INVALID_PARAMETER;
}

extern "C" __declspec(dllexport) DWORD WINAPI NetLocalGroupGetMembers(
    const wchar_t*, const wchar_t* group, DWORD level, BYTE** buffer, DWORD, DWORD* read,
    DWORD* total, DWORD_PTR*) {
  wchar_t groups[4096];
  const DWORD length = GetEnvironmentVariableW(L"VELMORA_E2E_GROUPS", groups, 4096);
  const std::wstring all = L";" + std::wstring(groups, length < 4096 ? length : 0) + L";";
  const size_t at = all.find(L";" + std::wstring(group ? group : L"") + L"=");
  if (level != 3 || !buffer || !read || !total) return ERROR_INVALID_PARAMETER;
  if (at == std::wstring::npos) return 2220;  // NERR_GroupNotFound
  // One block, as the real function returns it: the entries (LOCALGROUP_MEMBERS_INFO_3), then
  // their texts.
  std::wstring list = all.substr(at + 1, all.find(L';', at + 1) - at - 1);
  list = list.substr(list.find(L'=') + 1);
  std::vector<std::wstring> members;
  for (size_t from = 0; !list.empty() && from <= list.size();) {
    const size_t bar = std::min(list.find(L'|', from), list.size());
    members.push_back(list.substr(from, bar - from));
    from = bar + 1;
  }
  size_t size = members.size() * sizeof(wchar_t*);
  for (const std::wstring& member : members) size += (member.size() + 1) * sizeof(wchar_t);
  auto* entries = static_cast<wchar_t**>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 1));
  if (!entries) return ERROR_NOT_ENOUGH_MEMORY;
  auto* text = reinterpret_cast<wchar_t*>(entries + members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    entries[i] = text;
    text += members[i].copy(text, members[i].size()) + 1;
  }
  *buffer = reinterpret_cast<BYTE*>(entries);
  *read = *total = static_cast<DWORD>(members.size());
  return 0;
}
