// The program's own English string table, read from resources/resource.h and the .rc, so that
// the fake shell serves exactly the strings the real program carries.
#pragma once

#include <map>
#include <string>

namespace velmora::fakes {

// Resource id -> text.
const std::map<int, std::wstring>& ProgramStringTable();
// A file of the source tree, whole.
std::string ReadSourceFile(const std::string& relative);

}  // namespace velmora::fakes
