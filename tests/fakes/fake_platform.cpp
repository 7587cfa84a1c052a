#include "fakes/fake_platform.h"

#include <fstream>
#include <regex>
#include <sstream>

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

wchar_t Wide(unsigned char b) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return static_cast<wchar_t>(b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : b);
}

}  // namespace

std::string FakeCodePage::WideToAnsi(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    char byte = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? static_cast<char>(c) : '?';
    for (int b = 0x80; b < 0xA0; ++b) {
      if (Wide(static_cast<unsigned char>(b)) == c) byte = static_cast<char>(b);
    }
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    i += pair ? 1 : 0;
    out.push_back(byte);
  }
  return out;
}

std::wstring FakeCodePage::AnsiToWide(const std::string& text) {
  std::wstring out;
  for (char c : text) out.push_back(Wide(static_cast<unsigned char>(c)));
  return out;
}

std::string ReadSourceFile(const std::string& relative) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::map<int, std::wstring>& ProgramStringTable() {
  static const std::map<int, std::wstring> table = LoadStringTable();
  return table;
}

FakePlatform::FakePlatform() {
  files.SetEnvironment(L"TEMP", L"C:\\Users\\user\\AppData\\Local\\Temp");
  shell.strings = ProgramStringTable();
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
