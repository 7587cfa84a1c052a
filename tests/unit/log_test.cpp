// The diagnostic log: whole lines only while it is on, the rotation at its size limit under
// the same lock as every append, and a path that is never a cut one.
#include "log/log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace velmora::test {
namespace {

const std::wstring kLog = FakePlatform::kLogPath;
const std::wstring kBackup = L"c:\\users\\user\\appdata\\local\\temp\\velmoratray.lo_";
constexpr size_t kLimit = 5000000;

// A line stamped with the fake clock's local time as it starts.
std::string Line(const std::string& message) { return "[01.01.1970 00:00:00] " + message + "\r\n"; }

using LogTest = TrayTest;

TEST_F(LogTest, LinesAreWrittenWholeInTheAnsiCodePageOnlyWhileTheLogIsOn) {
  // A line on its way while another thread ends the log (the final cleanup) is not written;
  // the third one, with the log left on, is.
  struct EndingCodePage : fakes::FakeCodePage {
    void (*end)() = [] {};
    std::string WideToAnsi(const std::wstring& text) override {
      end();
      return FakeCodePage::WideToAnsi(text);
    }
  } codePage;
  Platform platform = GetPlatform();
  platform.codePage = &codePage;
  InstallPlatform(platform);
  Log("before the path %d", 1);
  LogW(L"before the path %d", 1);
  for (void (*end)() : {&DestroyLogLock, &ClearLogFilePath, +[] {}}) {
    StartLog();
    codePage.end = end;
    LogW(L"CheckADUser. %s", L"Zo\u00EB \u03A9 \U0001F600 \u20AC");
  }
  fake.clock.local = LocalTime{2027, 1, 6, 9, 23, 59, 58, 0};
  LogW(L"Tray app init");
  EXPECT_EQ(fake.files.Contents(kLog),
            Line("CheckADUser. Zo\xEB ? ? \x80") + "[09.01.2027 23:59:58] Tray app init\r\n");
  // "\VelmoraTray.log" adds 16 characters: 259 and the NUL fit the buffer; a cut path never.
  for (const size_t length : {241, 240}) {
    fake.files.SetEnvironment(L"TEMP", L"C:\\" + std::wstring(length, L't'));
    EXPECT_EQ(SetDefaultLogFilePath(), length == 240) << length;
  }
  fake.files.expandFails = true;
  EXPECT_FALSE(SetDefaultLogFilePath());
  Log("nowhere");
  EXPECT_EQ(fake.files.appendCalls, 2) << "only the two lines written";
}

TEST_F(LogTest, LargeFileBecomesTheBackupBeforeTheNextLineOrKeepsGrowingUntilItCan) {
  // The log's size, whether the old backup cannot be deleted (so the log cannot be moved onto
  // it) or the log cannot be moved, and the backup after a line that did not rotate: the limit
  // itself takes one more line, and a failed rotation keeps the line and waits for the next.
  const std::tuple<size_t, bool, bool, const char*> cases[] = {
      {kLimit, false, false, "older backup"},
      {kLimit + 1, false, false, ""},
      {kLimit + 1, true, false, "older backup"},
      {kLimit + 1, false, true, ""}};
  StartLog();
  for (const auto& [size, deleteFails, moveFails, backupLeft] : cases) {
    SCOPED_TRACE(testing::Message() << size << deleteFails << moveFails);
    const std::string big(size, 'b');
    fake.files.SetFile(kLog, big);
    fake.files.SetFile(kBackup, "older backup");
    fake.files.deleteFails = deleteFails;
    fake.files.moveFails = moveFails;
    Log("one");
    const bool rotatedAtOnce = size > kLimit && !deleteFails && !moveFails;
    EXPECT_TRUE(fake.files.Contents(kLog) == (rotatedAtOnce ? "" : big) + Line("one"));
    EXPECT_TRUE(fake.files.Contents(kBackup) == (rotatedAtOnce ? big : backupLeft));
    fake.files.deleteFails = fake.files.moveFails = false;
    Log("two");
    EXPECT_TRUE(fake.files.Contents(kBackup) == (rotatedAtOnce ? big : big + Line("one")));
    EXPECT_EQ(fake.files.Contents(kLog), (rotatedAtOnce ? Line("one") : "") + Line("two"));
  }
  // The backup is the file name in lower case beside the log, whatever the folders are called.
  const std::pair<std::wstring, std::wstring> paths[] = {
      {L"D:\\Ann.LOGAN\\Logs.Log\\VelmoraTray.log", L"d:\\ann.logan\\logs.log\\velmoratray.lo_"},
      {L"Tray.LOG", L"tray.lo_"}};
  for (const auto& [log, backup] : paths) EXPECT_EQ(LogBackupPath(log), backup);
}

TEST_F(LogTest, LinesFromManyThreadsStayWholeAcrossARotation) {
  const std::string start(kLimit - 1000, 'x');
  fake.files.SetFile(kLog, start);
  StartLog();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 250; ++i) t % 2 ? LogW(L"line %d", 1) : Log("line %d", 1);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(fake.files.maxConcurrentCalls, 1) << "size check, rotation and append under one lock";
  std::string expected = start;
  for (int i = 0; i < 2000; ++i) expected += Line("line 1");
  EXPECT_TRUE(fake.files.Contents(kBackup) + fake.files.Contents(kLog) == expected) << "line torn";
}

}  // namespace
}  // namespace velmora::test
