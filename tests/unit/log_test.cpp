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

#include "fakes/fake_clock.h"
#include "fakes/fake_code_page.h"
#include "fakes/fake_files.h"
#include "platform/platform.h"

namespace velmora {
namespace {

const std::wstring kTemp = L"C:\\Users\\Ann\\AppData\\Local\\Temp";
const std::wstring kLogPath = kTemp + L"\\VelmoraTray.log";
const std::wstring kBackupPath = L"c:\\users\\ann\\appdata\\local\\temp\\velmoratray.lo_";
const std::string kStamp = "[05.12.2026 07:03:09] ";

std::string Line(const std::string& message) { return kStamp + message + "\r\n"; }

// For multi-megabyte files: reports sizes and the first difference instead of every byte.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure()
         << "sizes " << actual.size() << " and " << expected.size() << ", first difference at "
         << at << ": \"" << actual.substr(at, 40) << "\" vs \"" << expected.substr(at, 40)
         << "\"";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

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

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = GetPlatform();
    Install(&files_);
    files_.SetEnvironment(L"TEMP", kTemp);
    clock_.SetLocal(2026, 12, 5, 7, 3, 9);
    CreateLogLock();
  }
  void TearDown() override {
    DestroyLogLock();
    ClearLogFilePath();
    InstallPlatform(saved_);
  }
  void Install(Files* files) {
    Platform platform;
    platform.files = files;
    platform.clock = &clock_;
    platform.codePage = &codePage_;
    InstallPlatform(platform);
  }

  fakes::FakeFiles files_;
  fakes::FakeClock clock_;
  fakes::FakeCodePage codePage_;

 private:
  Platform saved_;
};

TEST_F(LogTest, NothingIsWrittenWhileOffOrWithoutTheLock) {
  Log("before init %d", 1);
  LogW(L"before init %d", 1);
  EXPECT_FALSE(IsLogging());

  ASSERT_TRUE(SetDefaultLogFilePath());
  ClearLogFilePath();
  Log("cleared");

  DestroyLogLock();
  ASSERT_TRUE(SetDefaultLogFilePath());
  EXPECT_FALSE(IsLogging());
  Log("no lock yet");
  EXPECT_EQ(files_.AppendCalls(), 0);
  EXPECT_TRUE(files_.Paths().empty());

  CreateLogLock();
  Log("Tray app init");
  EXPECT_EQ(files_.Contents(kLogPath), Line("Tray app init"));
}

TEST_F(LogTest, LineIsStampMessageAndCrLf) {
  ASSERT_TRUE(SetDefaultLogFilePath());
  EXPECT_EQ(GetLogFilePath(), kLogPath);
  Log("GetSetting. %s: %S=%d/%u", "machine", L"VerboseLogging", -1, 42u);
  clock_.SetLocal(2027, 1, 9, 23, 59, 58);
  Log("Tray app init");
  EXPECT_EQ(files_.Contents(kLogPath),
            Line("GetSetting. machine: VerboseLogging=-1/42") +
                "[09.01.2027 23:59:58] Tray app init\r\n");
}

TEST_F(LogTest, WideLineIsConvertedWholeToTheAnsiCodePage) {
  ASSERT_TRUE(SetDefaultLogFilePath());
  LogW(L"CheckADUser. %s", L"Zo\u00EB \u03A9 \U0001F600 \u20AC");
  EXPECT_EQ(files_.Contents(kLogPath), Line("CheckADUser. Zo\xEB ? ? \x80"));
  EXPECT_EQ(files_.AppendCalls(), 1);
}

TEST_F(LogTest, FileOfExactlyTheLimitTakesOneMoreLine) {
  const std::string full(5000000, 'a');
  files_.SetFile(kLogPath, full);
  files_.SetFile(kBackupPath, "older backup");
  ASSERT_TRUE(SetDefaultLogFilePath());

  Log("one");
  EXPECT_TRUE(SameBytes(files_.Contents(kLogPath), full + Line("one")));
  EXPECT_EQ(files_.Contents(kBackupPath), "older backup");
  EXPECT_EQ(files_.MoveCalls(), 0);

  Log("two");
  EXPECT_TRUE(SameBytes(files_.Contents(kBackupPath), full + Line("one")));
  EXPECT_EQ(files_.Contents(kLogPath), Line("two"));
}

TEST_F(LogTest, LargerFileBecomesTheBackupBeforeTheNextLine) {
  const std::string big(5000001, 'b');
  files_.SetFile(kLogPath, big);
  files_.SetFile(kBackupPath, "older backup");
  ASSERT_TRUE(SetDefaultLogFilePath());

  Log("fresh");
  EXPECT_TRUE(SameBytes(files_.Contents(kBackupPath), big));
  EXPECT_EQ(files_.Contents(kLogPath), Line("fresh"));
  const std::vector<std::wstring> expected = {L"Delete " + kBackupPath,
                                              L"Move " + kLogPath + L" -> " + kBackupPath,
                                              L"Append " + kLogPath};
  EXPECT_EQ(files_.Journal(), expected);
}

TEST_F(LogTest, BackupStaysBesideTheLogWhenFoldersContainDotLog) {
  const std::wstring temp = L"D:\\Users\\Mary.LOGAN\\Logs.Log";
  files_.AddFolder(temp);
  files_.SetEnvironment(L"TEMP", temp);
  files_.SetFile(temp + L"\\VelmoraTray.log", std::string(5000001, 'c'));
  ASSERT_TRUE(SetDefaultLogFilePath());

  Log("after rotation");
  const std::wstring backup = L"d:\\users\\mary.logan\\logs.log\\velmoratray.lo_";
  const std::vector<std::wstring> paths = files_.Paths();
  EXPECT_NE(std::find(paths.begin(), paths.end(), backup), paths.end());
  EXPECT_EQ(files_.Contents(backup).size(), 5000001u);
  EXPECT_EQ(files_.Contents(temp + L"\\VelmoraTray.log"), Line("after rotation"));

  EXPECT_EQ(LogBackupPath(L"C:\\T\\a.log.LOG"), L"c:\\t\\a.lo_.lo_");
  EXPECT_EQ(LogBackupPath(L"C:/X.log/VelmoraTray.Log"), L"c:/x.log/velmoratray.lo_");
  EXPECT_EQ(LogBackupPath(L"Tray.LOG"), L"tray.lo_");
}

TEST_F(LogTest, FailedRotationKeepsAppendingAndRetries) {
  const std::string big(5000001, 'd');
  files_.SetFile(kLogPath, big);
  files_.SetFile(kBackupPath, "older backup");
  ASSERT_TRUE(SetDefaultLogFilePath());

  files_.SetDeleteFails(true);  // the old backup stays, so the move cannot replace it
  Log("a");
  EXPECT_TRUE(SameBytes(files_.Contents(kLogPath), big + Line("a")));
  files_.SetDeleteFails(false);
  files_.SetMoveFails(true);
  Log("b");
  EXPECT_TRUE(SameBytes(files_.Contents(kLogPath), big + Line("a") + Line("b")));
  EXPECT_EQ(files_.MoveCalls(), 2);

  files_.SetMoveFails(false);
  Log("c");
  EXPECT_TRUE(SameBytes(files_.Contents(kBackupPath), big + Line("a") + Line("b")));
  EXPECT_EQ(files_.Contents(kLogPath), Line("c"));
}

TEST_F(LogTest, LineThatCannotBeAppendedIsLostAndTheNextIsWritten) {
  ASSERT_TRUE(SetDefaultLogFilePath());
  Log("first");
  files_.SetLocked(kLogPath, true);
  Log("lost");
  files_.SetLocked(kLogPath, false);
  Log("third");
  EXPECT_EQ(files_.Contents(kLogPath), Line("first") + Line("third"));
  EXPECT_EQ(files_.AppendCalls(), 3);
}

TEST_F(LogTest, PathMustFitTheBufferOfTwoHundredSixtyCharacters) {
  // "\VelmoraTray.log" adds 16 characters; 259 plus the NUL is the most that fits.
  const std::wstring fits = L"C:\\" + std::wstring(240, L't');
  files_.SetEnvironment(L"TEMP", fits);
  ASSERT_TRUE(SetDefaultLogFilePath());
  EXPECT_EQ(GetLogFilePath().size(), 259u);

  files_.SetEnvironment(L"TEMP", fits + L"u");
  EXPECT_FALSE(SetDefaultLogFilePath());
  EXPECT_TRUE(GetLogFilePath().empty());
  Log("nowhere");

  files_.SetEnvironment(L"TEMP", kTemp);
  files_.SetExpandFails(true);
  EXPECT_FALSE(SetDefaultLogFilePath());
  Log("nowhere");
  EXPECT_EQ(files_.AppendCalls(), 0);
}

TEST_F(LogTest, LinesFromManyThreadsStayWholeAcrossARotation) {
  const std::string start(4999000, 'x');
  files_.SetFile(kLogPath, start);
  ASSERT_TRUE(SetDefaultLogFilePath());

  constexpr int kThreads = 8;
  constexpr int kLines = 250;
  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) {
      expected.insert("worker " + std::to_string(t) + " line " + std::to_string(i) + " " +
                      std::string(40, static_cast<char>('a' + t)));
    }
  }
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &go] {
      const std::string fill(40, static_cast<char>('a' + t));
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

  EXPECT_EQ(files_.MoveCalls(), 1);
  EXPECT_EQ(files_.MaxConcurrentCalls(), 1);
  const std::string backup = files_.Contents(kBackupPath);
  ASSERT_EQ(backup.compare(0, start.size(), start), 0);
  const std::string written = backup.substr(start.size()) + files_.Contents(kLogPath);
  for (const std::string& line : SplitLines(written)) {
    ASSERT_EQ(line.compare(0, kStamp.size(), kStamp), 0) << line;
    EXPECT_EQ(expected.erase(line.substr(kStamp.size())), 1u) << line;
  }
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
  ASSERT_TRUE(WaitFor([&] { return files_.AppendCalls() >= 100; }));
  DestroyLogLock();
  const int appends = files_.AppendCalls();
  const std::string text = files_.Contents(kLogPath);
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
  EXPECT_EQ(files_.AppendCalls(), appends);
  EXPECT_EQ(files_.Contents(kLogPath), text);
  EXPECT_EQ(SplitLines(text).size(), static_cast<size_t>(appends));
}

// The same rotation on a real disk, with the shared-open semantics the Win32 side provides.
class DiskFiles : public Files {
 public:
  explicit DiskFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

  int64_t SizeOf(const std::wstring& path) override {
    std::ifstream file(Native(path), std::ios::binary | std::ios::ate);
    return file ? static_cast<int64_t>(file.tellg()) : -1;
  }
  bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) override {
    std::ifstream file(Native(path), std::ios::binary);
    if (!file) return false;
    out->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
  }
  bool Append(const std::wstring& path, const void* data, size_t length) override {
    std::ofstream file(Native(path), std::ios::binary | std::ios::app);
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    return static_cast<bool>(file);
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
    *out = text;
    const size_t at = out->find(L"%TEMP%");
    if (at != std::wstring::npos) out->replace(at, 6, folder_.wstring());
    return static_cast<uint32_t>(out->size() + 1);
  }
  std::wstring ModulePath() override { return std::wstring(); }

 private:
  static std::filesystem::path Native(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return std::filesystem::path(path);
  }
  std::filesystem::path folder_;
};

TEST_F(LogTest, RotatesARealFile) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("velmora-log-test-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(folder);
  std::wstring lower = folder.wstring();
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; });
  if (!std::filesystem::exists(std::filesystem::path(lower))) {
    std::filesystem::remove_all(folder);
    GTEST_SKIP() << "the backup path is lower-cased; this file system tells case apart";
  }
  DiskFiles disk(folder);
  Install(&disk);
  {
    std::ofstream big(folder / "VelmoraTray.log", std::ios::binary);
    big << std::string(5000001, 'r');
  }
  ASSERT_TRUE(SetDefaultLogFilePath());
  Log("on disk");

  EXPECT_EQ(std::filesystem::file_size(folder / "velmoratray.lo_"), 5000001u);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(disk.ReadAll(GetLogFilePath(), &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Line("on disk"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmora
