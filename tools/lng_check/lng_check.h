// Checks a language pack the way the tray will read it, and says what a translator must fix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

struct PackFinding {
  bool error;           // false: a warning (the pack works, but probably not as meant)
  std::string message;  // ASCII, no line end
};

// fileName is the file's own name (no folder); bytes are the whole file.
std::vector<PackFinding> CheckLanguagePack(const std::wstring& fileName,
                                           const std::vector<uint8_t>& bytes);

// Reports every file's findings on out; the exit code: 0 no errors, 1 errors.
struct PackReport {
  std::string shownPath;
  std::vector<PackFinding> findings;
};
int PrintPackReports(const std::vector<PackReport>& reports, std::string& out);

}  // namespace velmora
