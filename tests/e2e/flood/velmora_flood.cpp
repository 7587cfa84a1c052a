// What a standard user can do to the channel without the tray, as fast as one process can:
//   velmora_flood invalid <count>   writes <count> refused requests, each as long as a record
//                                   holds, and waits for each answer; prints the answers seen
//   velmora_flood emergency <ms>    sets EMERGENCYSTART over and over for <ms> milliseconds
// Exit code 0 when every request was answered with FORBID (invalid) or the time ran out
// (emergency), 1 otherwise, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "elevation/channel_records.h"

namespace {

namespace channel = velmora::channel;

bool WriteRecord(const channel::ElevationRequest& record) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, channel::kSharedBlockName);
  if (mapping == nullptr) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, record.size());
  if (view != nullptr) {
    std::memcpy(view, record.data(), record.size());
    FlushViewOfFile(view, record.size());
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return view != nullptr;
}

int Invalid(unsigned long count) {
  const std::u16string user = u"OTHER\\" + std::u16string(293, u'n');
  const std::u16string reason(299, u'\u202E');
  const channel::ElevationRequest record = channel::EncodeElevationRequest(user, reason, false, 60);
  const wchar_t* names[] = {channel::kStartEventName, channel::kExpireEventName,
                            channel::kForbidEventName};
  HANDLE answers[3];
  for (int i = 0; i < 3; ++i) {
    answers[i] = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, names[i]);
    if (answers[i] == nullptr) return 1;
  }
  HANDLE request = OpenEventW(EVENT_MODIFY_STATE, FALSE, channel::kAddToAdminEventName);
  if (request == nullptr) return 1;
  unsigned long seen[4] = {};  // START, EXPIRE, FORBID, none
  for (unsigned long i = 0; i < count; ++i) {
    for (HANDLE answer : answers) ResetEvent(answer);
    if (!WriteRecord(record) || !SetEvent(request)) return 1;
    const DWORD wait = WaitForMultipleObjects(3, answers, FALSE, 10'000);
    ++seen[wait < WAIT_OBJECT_0 + 3 ? wait - WAIT_OBJECT_0 : 3];
  }
  std::printf("START %lu EXPIRE %lu FORBID %lu NONE %lu\n", seen[0], seen[1], seen[2], seen[3]);
  return seen[2] == count ? 0 : 1;
}

int Emergency(unsigned long ms) {
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, channel::kEmergencyStartEventName);
  if (event == nullptr) return 1;
  unsigned long long sets = 0;
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    SetEvent(event);
    ++sets;
  }
  std::printf("SET %llu\n", sets);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const unsigned long number = std::wcstoul(argv[2], nullptr, 10);
  if (std::wcscmp(argv[1], L"invalid") == 0) return Invalid(number);
  if (std::wcscmp(argv[1], L"emergency") == 0) return Emergency(number);
  return 2;
}
