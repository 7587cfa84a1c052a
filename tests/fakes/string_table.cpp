#include "fakes/string_table.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace velmora::fakes {
namespace {

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::map<int, std::wstring> Load() {
  std::map<std::string, int> ids;
  const std::string header = ReadSourceFile("resources/resource.h");
  const std::regex define(R"(#define (IDS_\w+) (\d+))");
  for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
    ids[(*it)[1]] = std::stoi((*it)[2]);
  }
  std::map<int, std::wstring> table;
  const std::string rc = ReadSourceFile("resources/VelmoraTray.rc");
  const std::regex line(R"(\n\s*(IDS_\w+)\s+"([^"]*)\")");
  for (std::sregex_iterator it(rc.begin(), rc.end(), line), end; it != end; ++it) {
    table[ids.at((*it)[1])] = Widen((*it)[2]);
  }
  return table;
}

}  // namespace

std::string ReadSourceFile(const std::string& relative) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::map<int, std::wstring>& ProgramStringTable() {
  static const std::map<int, std::wstring> table = Load();
  return table;
}

}  // namespace velmora::fakes
