// velmora_lng_check FILE...: checks language packs (see docs/LANGUAGE-PACKS.md).
#include <cstdio>
#include <string>
#include <vector>

#include "lng_check.h"
#include "text/utf8.h"

namespace {

bool ReadWhole(const wchar_t* path, std::vector<uint8_t>& bytes) {
  FILE* file = _wfopen(path, L"rb");
  if (!file) return false;
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: velmora_lng_check FILE.lng...\n", stderr);
    return 2;
  }
  std::vector<velmora::PackReport> reports;
  for (int i = 1; i < argc; ++i) {
    const std::wstring path = argv[i];
    std::vector<uint8_t> bytes;
    if (!ReadWhole(argv[i], bytes)) {
      std::fprintf(stderr, "%s: cannot be read\n", velmora::ToUtf8(path).c_str());
      return 2;
    }
    const size_t slash = path.find_last_of(L"\\/:");
    reports.push_back({velmora::ToUtf8(path),
                       velmora::CheckLanguagePack(
                           slash == std::wstring::npos ? path : path.substr(slash + 1), bytes)});
  }
  std::string out;
  const int status = velmora::PrintPackReports(reports, out);
  std::fputs(out.c_str(), stdout);
  return status;
}
