#include "platform/win32/win32_files.h"

#include <share.h>
#include <stdio.h>
#include <windows.h>

#include <memory>
#include <utility>

#include "platform/types.h"

namespace velmora {

static_assert(INVALID_FILE_ATTRIBUTES == win::kInvalidFileAttributes,
              "file attributes cross the seam unchanged");

namespace {

struct FileCloser {
  void operator()(FILE* file) const { ::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

UniqueFile OpenShared(const std::wstring& path, const wchar_t* mode) {
  return UniqueFile(::_wfsopen(path.c_str(), mode, _SH_DENYNO));
}

}  // namespace

int64_t Win32Files::SizeOf(const std::wstring& path) {
  UniqueFile file = OpenShared(path, L"rb");
  if (!file) return -1;
  if (::_fseeki64(file.get(), 0, SEEK_END) != 0) return -1;
  return ::_ftelli64(file.get());
}

bool Win32Files::ReadAll(const std::wstring& path, std::vector<uint8_t>* out) {
  UniqueFile file = OpenShared(path, L"rb");
  if (!file) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[16 * 1024];
  for (;;) {
    const size_t got = ::fread(chunk, 1, sizeof(chunk), file.get());
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof(chunk)) break;
  }
  if (::ferror(file.get()) != 0) return false;
  *out = std::move(bytes);
  return true;
}

bool Win32Files::Append(const std::wstring& path, const void* data, size_t length) {
  FILE* file = ::_wfsopen(path.c_str(), L"ab", _SH_DENYNO);
  if (file == nullptr) return false;
  const bool written = ::fwrite(data, 1, length, file) == length;
  // The bytes reach the file only at the close; a failed flush is a short write too.
  const bool closed = ::fclose(file) == 0;
  return written && closed;
}

bool Win32Files::Move(const std::wstring& from, const std::wstring& to) {
  return ::MoveFileW(from.c_str(), to.c_str()) != FALSE;
}

bool Win32Files::Delete(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

uint32_t Win32Files::Attributes(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str());
}

uint32_t Win32Files::ExpandEnvironment(const std::wstring& text, std::wstring* out) {
  DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  // The environment may grow between the sizing call and the expansion: retry a few times.
  for (int attempt = 0; attempt < 4 && needed != 0; ++attempt) {
    std::wstring buffer(needed, L'\0');
    const DWORD got = ::ExpandEnvironmentStringsW(text.c_str(), &buffer[0], needed);
    if (got == 0) return 0;
    if (got <= needed) {
      const size_t end = buffer.find(L'\0');
      buffer.resize(end == std::wstring::npos ? got : end);
      *out = std::move(buffer);
      return got;
    }
    needed = got;
  }
  return 0;
}

std::wstring Win32Files::ModulePath() {
  // A full buffer means a cut path (older systems do not even terminate it): grow and retry.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD got = ::GetModuleFileNameW(nullptr, &buffer[0], size);
    if (got == 0) return std::wstring();
    if (got < size) {
      buffer.resize(got);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace velmora
