// In-memory Files: path -> bytes, compared case-insensitively and with '/' equal to '\' as on
// Windows. Scriptable (locked files, failing moves and deletes, environment, module path) and
// recording (call counts, a journal of the writes, whether calls ever overlapped), safe to use
// from several threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace velmora::fakes {

class FakeFiles : public Files {
 public:
  // Files
  int64_t SizeOf(const std::wstring& path) override;
  bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) override;
  bool Append(const std::wstring& path, const void* data, size_t length) override;
  bool Move(const std::wstring& from, const std::wstring& to) override;
  bool Delete(const std::wstring& path) override;
  uint32_t Attributes(const std::wstring& path) override;
  uint32_t ExpandEnvironment(const std::wstring& text, std::wstring* out) override;
  std::wstring ModulePath() override;

  // Files and folders.
  void SetFile(const std::wstring& path, const std::string& bytes);
  bool Exists(const std::wstring& path) const;
  // The bytes of the file, empty when there is none.
  std::string Contents(const std::wstring& path) const;
  // Every file, spelled as it was created or moved.
  std::vector<std::wstring> Paths() const;
  // Once a folder is added, files can only be created or moved into added folders, as a
  // missing folder makes CreateFile and MoveFile fail.
  void AddFolder(const std::wstring& path);

  // Failures. A locked file is open elsewhere without sharing: no open, move or delete of it
  // succeeds, but its attributes can still be read.
  void SetLocked(const std::wstring& path, bool locked);
  void SetMoveFails(bool fails);
  void SetDeleteFails(bool fails);
  void SetExpandFails(bool fails);

  // Environment for ExpandEnvironment (names case-insensitive) and the program's own path.
  void SetEnvironment(const std::wstring& name, const std::wstring& value);
  void SetModulePath(const std::wstring& path);

  // Records.
  int AppendCalls() const;
  int MoveCalls() const;
  // "Append <path>", "Move <from> -> <to>", "Delete <path>", in call order, failed ones too.
  std::vector<std::wstring> Journal() const;
  // The most calls that were ever inside this object at the same time.
  int MaxConcurrentCalls() const;

 private:
  struct File {
    std::wstring path;  // as spelled by its creator
    std::string bytes;
  };
  class CallScope;

  static std::wstring Key(const std::wstring& path);
  bool FolderExists(const std::wstring& path) const;  // caller holds mutex_

  mutable std::mutex mutex_;
  std::map<std::wstring, File> files_;
  std::set<std::wstring> folders_;
  std::set<std::wstring> locked_;
  std::map<std::wstring, std::wstring> environment_;
  std::wstring modulePath_;
  bool moveFails_ = false;
  bool deleteFails_ = false;
  bool expandFails_ = false;
  int appendCalls_ = 0;
  int moveCalls_ = 0;
  std::vector<std::wstring> journal_;
  std::atomic<int> inside_{0};
  std::atomic<int> maxInside_{0};
};

}  // namespace velmora::fakes
