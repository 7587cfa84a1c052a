#include "log/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace velmora::test {
namespace {

const std::wstring kLog = FakePlatform::kLogPath;
const std::wstring kBackup = L"c:\\users\\user\\appdata\\local\\temp\\velmoratray.lo_";
const std::string kStamp = "[05.12.2026 07:03:09] ";
constexpr size_t kLimit = 5000000;

std::string Line(const std::string& message) { return kStamp + message + "\r\n"; }

class LogTest : public TrayTest {
 protected:
  void SetUp() override {
    fake.clock.local = LocalTime{2026, 12, 6, 5, 7, 3, 9, 0};
    CreateLogLock();
  }
  std::string Text() const { return fake.files.Contents(kLog); }
};

TEST_F(LogTest, NothingIsWrittenWhileOffOrWithoutTheLockAndALostLineStaysLost) {
  Log("before init %d", 1);
  LogW(L"before init %d", 1);
  ASSERT_TRUE(SetDefaultLogFilePath());
  ClearLogFilePath();
  Log("cleared");
  DestroyLogLock();
  ASSERT_TRUE(SetDefaultLogFilePath());
  EXPECT_FALSE(IsLogging());
  Log("no lock yet");
  EXPECT_EQ(fake.files.appendCalls, 0);

  CreateLogLock();
  Log("first");
  fake.files.appendFails = true;
  Log("lost");
  fake.files.appendFails = false;
  Log("third");
  EXPECT_EQ(Text(), Line("first") + Line("third"));
}

TEST_F(LogTest, LineIsStampMessageAndCrLfInTheAnsiCodePage) {
  ASSERT_TRUE(SetDefaultLogFilePath());
  EXPECT_EQ(GetLogFilePath(), kLog);
  Log("GetSetting. %s: %S=%d/%u", "machine", L"VerboseLogging", -1, 42u);
  LogW(L"CheckADUser. %s", L"Zo\u00EB \u03A9 \U0001F600 \u20AC");
  fake.clock.local = LocalTime{2027, 1, 6, 9, 23, 59, 58, 0};
  Log("Tray app init");
  EXPECT_EQ(Text(), Line("GetSetting. machine: VerboseLogging=-1/42") +
                        Line("CheckADUser. Zo\xEB ? ? \x80") +
                        "[09.01.2027 23:59:58] Tray app init\r\n");
}

TEST_F(LogTest, LargeFileBecomesTheBackupBeforeTheNextLineOrKeepsGrowingUntilItCan) {
  const struct {
    size_t size;
    bool deleteFails, moveFails;
    std::string backupLeft;  // after a line that did not rotate
  } cases[] = {
      {kLimit, false, false, "older backup"},  // the limit takes one more line
      {kLimit + 1, false, false, ""},
      {kLimit + 1, true, false, "older backup"},  // it stays, so the move cannot replace it
      {kLimit + 1, false, true, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << c.deleteFails << c.moveFails);
    const std::string big(c.size, 'b');
    fake.files.SetFile(kLog, big);
    fake.files.SetFile(kBackup, "older backup");
    fake.files.deleteFails = c.deleteFails;
    fake.files.moveFails = c.moveFails;
    ASSERT_TRUE(SetDefaultLogFilePath());
    Log("one");
    if (c.size > kLimit && !c.deleteFails && !c.moveFails) {
      EXPECT_TRUE(fake.files.Contents(kBackup) == big);
      EXPECT_EQ(Text(), Line("one"));
      continue;
    }
    EXPECT_TRUE(Text() == big + Line("one"));
    EXPECT_EQ(fake.files.Contents(kBackup), c.backupLeft);
    fake.files.deleteFails = fake.files.moveFails = false;
    Log("two");
    EXPECT_TRUE(fake.files.Contents(kBackup) == big + Line("one"));
    EXPECT_EQ(Text(), Line("two"));
  }
}

TEST_F(LogTest, BackupIsTheLowerCaseFileNameBesideTheLogWhateverTheFoldersAreCalled) {
  const std::pair<std::wstring, std::wstring> paths[] = {
      {L"C:\\T\\a.log.LOG", L"c:\\t\\a.lo_.lo_"},
      {L"D:\\Ann.LOGAN\\Logs.Log\\VelmoraTray.log", L"d:\\ann.logan\\logs.log\\velmoratray.lo_"},
      {L"C:/X.log/VelmoraTray.Log", L"c:/x.log/velmoratray.lo_"},
      {L"Tray.LOG", L"tray.lo_"}};
  for (const auto& [log, backup] : paths) EXPECT_EQ(LogBackupPath(log), backup);
}

TEST_F(LogTest, PathMustFitTheBufferOfTwoHundredSixtyCharacters) {
  // "\VelmoraTray.log" adds 16 characters; 259 plus the NUL is the most that fits.
  const std::wstring fits = L"C:\\" + std::wstring(240, L't');
  fake.files.SetEnvironment(L"TEMP", fits);
  ASSERT_TRUE(SetDefaultLogFilePath());
  EXPECT_EQ(GetLogFilePath().size(), 259u);
  fake.files.SetEnvironment(L"TEMP", fits + L"u");
  EXPECT_FALSE(SetDefaultLogFilePath());
  EXPECT_TRUE(GetLogFilePath().empty());
  fake.files.SetEnvironment(L"TEMP", L"C:\\Temp");
  fake.files.expandFails = true;
  EXPECT_FALSE(SetDefaultLogFilePath());
  Log("nowhere");
  EXPECT_EQ(fake.files.appendCalls, 0);
}

TEST_F(LogTest, LinesFromManyThreadsStayWholeAcrossARotation) {
  const std::string start(kLimit - 1000, 'x');
  fake.files.SetFile(kLog, start);
  ASSERT_TRUE(SetDefaultLogFilePath());
  constexpr int kThreads = 8, kLines = 250;
  std::multiset<std::string> expected;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    const std::string fill(40, static_cast<char>('a' + t));
    for (int i = 0; i < kLines; ++i) {
      expected.insert(kStamp + "worker " + std::to_string(t) + " line " + std::to_string(i) + " " +
                      fill);
    }
    threads.emplace_back([t, fill, &go] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kLines; ++i) {
        if (t % 2) {
          LogW(L"worker %d line %d %s", t, i, std::wstring(fill.begin(), fill.end()));
        } else {
          Log("worker %d line %d %s", t, i, fill);
        }
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(fake.files.moveCalls, 1);
  EXPECT_EQ(fake.files.maxConcurrentCalls, 1) << "size check, rotation and append under one lock";
  const std::string backup = fake.files.Contents(kBackup);
  ASSERT_EQ(backup.compare(0, start.size(), start), 0);
  const std::string written = backup.substr(start.size()) + Text();
  size_t at = 0;
  for (size_t end; (end = written.find("\r\n", at)) != std::string::npos; at = end + 2) {
    EXPECT_EQ(expected.erase(written.substr(at, end - at)), 1u) << written.substr(at, end - at);
  }
  EXPECT_EQ(at, written.size());
  EXPECT_TRUE(expected.empty()) << expected.size() << " lines missing";
}

}  // namespace
}  // namespace velmora::test
