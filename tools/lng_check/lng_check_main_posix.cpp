// velmora_lng_check FILE...: checks language packs (see docs/LANGUAGE-PACKS.md).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lng_check.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: velmora_lng_check FILE.lng...\n", stderr);
    return 2;
  }
  std::vector<velmora::PackReport> reports;
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
      return 2;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    const std::string path = argv[i];
    const std::string name = path.substr(path.find_last_of('/') + 1);
    reports.push_back({path, velmora::CheckLanguagePack(std::wstring(name.begin(), name.end()),
                                                        bytes)});
  }
  std::string out;
  const int status = velmora::PrintPackReports(reports, out);
  std::fputs(out.c_str(), stdout);
  return status;
}
