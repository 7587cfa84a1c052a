// A netapi32.dll that scenarios put beside a copy of the tray (loaded with
// WINEDLLOVERRIDES=netapi32=n,b). Wine's NetLocalGroupGetMembers answers the caller's bare name
// for every group, so under it the user is never an administrator, a list never has two members
// and a query never fails. Here the groups come from the environment:
//   VELMORA_E2E_GROUPS=Administrators=PC\alice|PC\bob;Staff=PC\carol
// and a group not named there does not exist. Only what the tray imports is exported.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kGroupNotFound = 2220;  // NERR_GroupNotFound

struct MembersInfo3 {  // LOCALGROUP_MEMBERS_INFO_3
  wchar_t* domainAndName;
};

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  for (size_t at = 0;;) {
    const size_t end = text.find(separator, at);
    parts.push_back(text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
    if (end == std::wstring::npos) return parts;
    at = end + 1;
  }
}

bool MembersOf(const wchar_t* group, std::vector<std::wstring>* members) {
  std::vector<wchar_t> groups(32768, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"VELMORA_E2E_GROUPS", groups.data(), 32768);
  if (length == 0 || length >= 32768) return false;
  for (const std::wstring& entry : Split(std::wstring(groups.data(), length), L';')) {
    const size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos ||
        CompareStringOrdinal(entry.c_str(), static_cast<int>(equals), group, -1, TRUE) !=
            CSTR_EQUAL) {
      continue;
    }
    const std::wstring list = entry.substr(equals + 1);
    if (!list.empty()) *members = Split(list, L'|');
    return true;
  }
  return false;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI NetApiBufferFree(void* buffer) {
  return HeapFree(GetProcessHeap(), 0, buffer) ? 0 : ERROR_INVALID_PARAMETER;
}

extern "C" __declspec(dllexport) DWORD WINAPI NetLocalGroupGetMembers(
    const wchar_t*, const wchar_t* group, DWORD level, BYTE** buffer, DWORD, DWORD* read,
    DWORD* total, DWORD_PTR*) {
  if (level != 3 || group == nullptr || buffer == nullptr || read == nullptr || total == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  std::vector<std::wstring> members;
  if (!MembersOf(group, &members)) return kGroupNotFound;
  // One block, as the real function returns it: the entries, then their texts.
  size_t size = members.size() * sizeof(MembersInfo3);
  for (const std::wstring& member : members) size += (member.size() + 1) * sizeof(wchar_t);
  auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 1));
  if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  auto* entries = reinterpret_cast<MembersInfo3*>(block);
  auto* text = reinterpret_cast<wchar_t*>(block + members.size() * sizeof(MembersInfo3));
  for (size_t i = 0; i < members.size(); ++i) {
    entries[i].domainAndName = text;
    members[i].copy(text, members[i].size());
    text += members[i].size() + 1;
  }
  *buffer = block;
  *read = *total = static_cast<DWORD>(members.size());
  return 0;
}
