#include "log/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
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

// Spins until done() or a generous deadline, so a broken log fails instead of hanging.
template <typename Done>
bool WaitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class LogTest : public TrayTest {
 protected:
  void SetUp() override {
    fake.clock.local = LocalTime{2026, 12, 6, 5, 7, 3, 9, 0};
    CreateLogLock();
  }
  std::string Text() const { return fake.files.Contents(kLog); }
};

TEST_F(LogTest, NothingIsWrittenWhileOffOrWithoutTheLock) {
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
  Log("Tray app init");
  EXPECT_EQ(Text(), Line("Tray app init"));
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
  for (const auto& p : paths) EXPECT_EQ(LogBackupPath(p.first), p.second);
}

TEST_F(LogTest, LineThatCannotBeAppendedIsLostAndTheNextIsWritten) {
  ASSERT_TRUE(SetDefaultLogFilePath());
  Log("first");
  fake.files.appendFails = true;
  Log("lost");
  fake.files.appendFails = false;
  Log("third");
  EXPECT_EQ(Text(), Line("first") + Line("third"));
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
  constexpr int kThreads = 8;
  constexpr int kLines = 250;
  std::multiset<std::string> expected;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    const std::string fill(40, static_cast<char>('a' + t));
    for (int i = 0; i < kLines; ++i) {
      expected.insert("worker " + std::to_string(t) + " line " + std::to_string(i) + " " + fill);
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
  EXPECT_EQ(fake.files.maxConcurrentCalls, 1);
  const std::string backup = fake.files.Contents(kBackup);
  ASSERT_EQ(backup.compare(0, start.size(), start), 0);
  const std::string written = backup.substr(start.size()) + Text();
  size_t at = 0;
  for (size_t end; (end = written.find("\r\n", at)) != std::string::npos; at = end + 2) {
    const std::string line = written.substr(at, end - at);
    ASSERT_EQ(line.compare(0, kStamp.size(), kStamp), 0) << line;
    EXPECT_EQ(expected.erase(line.substr(kStamp.size())), 1u) << line;
  }
  EXPECT_EQ(at, written.size());
  EXPECT_TRUE(expected.empty()) << expected.size() << " lines missing";
}

TEST_F(LogTest, NoLineIsWrittenOnceTheLockIsDestroyed) {
  ASSERT_TRUE(SetDefaultLogFilePath());
  constexpr int kThreads = 4;
  std::atomic<bool> stop{false};
  std::atomic<int> calls[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &stop, &calls] {
      for (int i = 0; !stop.load(); ++i) {
        Log("worker %d line %d", t, i);
        ++calls[t];
      }
    });
  }
  ASSERT_TRUE(WaitFor([&] { return fake.files.appendCalls >= 100; }));
  DestroyLogLock();
  const int appends = fake.files.appendCalls;
  const std::string text = Text();
  int seen[kThreads];
  for (int t = 0; t < kThreads; ++t) seen[t] = calls[t].load();
  const bool kept = WaitFor([&] {
    for (int t = 0; t < kThreads; ++t) {
      if (calls[t].load() < seen[t] + 50) return false;
    }
    return true;
  });
  stop = true;
  for (std::thread& thread : threads) thread.join();

  ASSERT_TRUE(kept) << "workers stopped logging";
  EXPECT_FALSE(IsLogging());
  EXPECT_EQ(fake.files.appendCalls, appends);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(static_cast<int>(std::count(text.begin(), text.end(), '\n')), appends);
}

// The same rotation on a real disk, with the shared-open semantics the Win32 side provides.
class DiskFiles : public Files {
 public:
  explicit DiskFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

  int64_t SizeOf(const std::wstring& path) override {
    std::error_code error;
    const auto size = std::filesystem::file_size(Native(path), error);
    return error ? -1 : static_cast<int64_t>(size);
  }
  bool ReadAll(const std::wstring&, std::vector<uint8_t>*) override { return false; }
  bool Append(const std::wstring& path, const void* data, size_t length) override {
    std::ofstream file(Native(path), std::ios::binary | std::ios::app);
    return static_cast<bool>(
        file.write(static_cast<const char*>(data), static_cast<std::streamsize>(length)));
  }
  bool Move(const std::wstring& from, const std::wstring& to) override {
    std::error_code error;
    if (std::filesystem::exists(Native(to), error)) return false;
    std::filesystem::rename(Native(from), Native(to), error);
    return !error;
  }
  bool Delete(const std::wstring& path) override {
    std::error_code error;
    return std::filesystem::remove(Native(path), error);
  }
  uint32_t Attributes(const std::wstring& path) override {
    std::error_code error;
    return std::filesystem::exists(Native(path), error) ? 0x80 : win::kInvalidFileAttributes;
  }
  uint32_t ExpandEnvironment(const std::wstring& text, std::wstring* out) override {
    *out = folder_.wstring() + text.substr(6);  // "%TEMP%..."
    return static_cast<uint32_t>(out->size() + 1);
  }
  std::wstring ModulePath() override { return std::wstring(); }

 private:
  static std::filesystem::path Native(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
  }
  std::filesystem::path folder_;
};

TEST_F(LogTest, RotatesARealFile) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("velmora-log-test-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(folder);
  std::wstring lower = folder.wstring();
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  });
  if (!std::filesystem::exists(std::filesystem::path(lower))) {
    std::filesystem::remove_all(folder);
    GTEST_SKIP() << "the backup path is lower-cased; this file system tells case apart";
  }
  DiskFiles disk(folder);
  Platform platform = GetPlatform();
  platform.files = &disk;
  InstallPlatform(platform);
  std::ofstream(folder / "VelmoraTray.log", std::ios::binary) << std::string(kLimit + 1, 'r');
  ASSERT_TRUE(SetDefaultLogFilePath());
  Log("on disk");

  EXPECT_EQ(std::filesystem::file_size(folder / "velmoratray.lo_"), kLimit + 1);
  {
    // Closed before the folder goes: Windows will not delete an open file.
    std::ifstream log(folder / "VelmoraTray.log", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), Line("on disk"));
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmora::test
