// The About dialog: the versions of the tray, the service and the shell-hook library, the
// maker's links and the licence text.
#pragma once

#include <string>

#include "dialogs/window_icons.h"
#include "platform/window_system.h"

namespace velmora {

// "%u.%u.%u.%u" of the file's product version (not its file version). False when the file has
// no version information or cannot be read.
bool GetFileProductVersion(const std::wstring& file, std::wstring* version);

// The program file a service's configured command line starts: quotes and arguments removed,
// environment variables expanded. A quoted path ends at its closing quote; an unquoted one ends
// after the first ".exe" that a blank or the end follows (so "C:\Program Files\x.exe -k" is
// C:\Program Files\x.exe), else it is the whole text.
std::wstring ProgramPathOf(const std::wstring& commandLine);

// The configured command line of VelmoraFrameworkService. False when the service control
// manager or the service cannot be opened or the configuration cannot be read.
bool GetServiceExecutablePath(std::wstring* path);

class CAboutDlg : public WindowHandler {
 public:
  // Runs the dialog modally over the thread's active window; 1 after OK, 2 after Escape.
  intptr_t DoModal();

  bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t& result) override;

 private:
  intptr_t OnInitDialog();
  bool OnCtlColorStatic(uintptr_t dc, intptr_t control, intptr_t& result);
  void OnLinkNotify(int id, const void* header);

  Hwnd m_hWnd = nullptr;
  WindowIcons m_icons;
};

// What the two links open.
extern const wchar_t kMakerSocialPage[];
extern const wchar_t kMakerWebPage[];

}  // namespace velmora
