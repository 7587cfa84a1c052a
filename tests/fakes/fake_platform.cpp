#include "fakes/fake_platform.h"

#include <fstream>
#include <iterator>
#include <regex>

#include "app/message_loop.h"
#include "elevation/channel.h"
#include "log/log.h"
#include "settings/managed_settings.h"
#include "state/globals.h"

namespace velmora::fakes {
namespace {

void ResetProcessState() {
  ResetGlobals();
  ResetManagedSettings();
  ClearLogFilePath();
  AppModule().Term();
}

// A file of the source tree, whole.
std::string ReadSourceFile(const std::string& relative) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::map<int, std::wstring> LoadStringTable() {
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
    const std::string text = (*it)[2];
    table[ids.at((*it)[1])] = std::wstring(text.begin(), text.end());
  }
  return table;
}
}  // namespace

const std::map<int, std::wstring>& ProgramStringTable() {
  static const std::map<int, std::wstring> table = LoadStringTable();
  return table;
}

FakePlatform::FakePlatform() {
  files.SetEnvironment(L"TEMP", L"C:\\Users\\user\\AppData\\Local\\Temp");
  files.SetEnvironment(L"USERDOMAIN", L"WORKSTATION");  // the accounts' user is a local one
  InstallPlatform(Platform{&registry, &kernel, &clock, &files, &codePage, &shell, &windows,
                           &accounts, &services, &windows, &gdi, &directory});
  ResetProcessState();
}

FakePlatform::~FakePlatform() {
  CloseChannelEvents();
  ResetProcessState();
  InstallPlatform(outer_);
}

}  // namespace velmora::fakes
