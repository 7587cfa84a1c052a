#include "dialogs/about_dlg.h"

#include <cwctype>

#include "dialogs/modal.h"
#include "log/log.h"
#include "platform/platform.h"
#include "resource.h"
#include "text/format.h"

namespace velmora {

const wchar_t kMakerSocialPage[] = L"https://social.ostrand.example/@ostrand";
const wchar_t kMakerWebPage[] = L"https://www.ostrand.example/velmora";

namespace {

constexpr wchar_t kServiceName[] = L"VelmoraFrameworkService";
constexpr wchar_t kShellHookLibrary[] = L"VelmoraSH64.dll";
constexpr wchar_t kProductFullName[] = L"Velmora for Windows, Standard Edition";
constexpr wchar_t kLicenseResourceType[] = L"LIC";
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The folder part of a path, with its final separator; empty when there is none.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

bool GetFileProductVersion(const std::wstring& file, std::wstring* version) {
  uint32_t most = 0;
  uint32_t least = 0;
  if (!ShellUi().FileProductVersion(file, &most, &least)) return false;
  *version = FormatWide(L"%u.%u.%u.%u", {most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF});
  return true;
}

std::wstring ProgramPathOf(const std::wstring& commandLine) {
  size_t start = 0;
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  std::wstring path;
  if (start < commandLine.size() && commandLine[start] == L'"') {
    const size_t close = commandLine.find(L'"', start + 1);
    path = commandLine.substr(start + 1, close == std::wstring::npos ? std::wstring::npos
                                                                     : close - start - 1);
  } else {
    path = commandLine.substr(start);
    std::wstring lower = path;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    // Where the system itself would end the program's name when it starts the service.
    for (size_t at = lower.find(L".exe"); at != std::wstring::npos;
         at = lower.find(L".exe", at + 1)) {
      const size_t end = at + 4;
      if (end == lower.size() || IsBlank(lower[end])) {
        path.resize(end);
        break;
      }
    }
    while (!path.empty() && IsBlank(path.back())) path.pop_back();
  }
  std::wstring expanded;
  if (path.find(L'%') != std::wstring::npos && Fs().ExpandEnvironment(path, &expanded) != 0) {
    return expanded;
  }
  return path;
}

bool GetServiceExecutablePath(std::wstring* path) {
  return Services().ServiceBinaryPath(kServiceName, path);
}

intptr_t CAboutDlg::DoModal() {
  return RunModalOverActiveWindow(IDD_ABOUTBOX, this);
}

bool CAboutDlg::ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam, intptr_t& result) {
  result = 0;
  switch (message) {
    case msg::kInitDialog:
      m_hWnd = hwnd;
      result = OnInitDialog();
      return true;
    case msg::kCtlColorStatic:
      return OnCtlColorStatic(wParam, lParam, result);
    case msg::kCommand: {
      const int id = CommandId(wParam);
      if (id != kIdOk && id != kIdCancel) return false;
      Dialogs().EndDialog(m_hWnd, id);
      return true;
    }
    case msg::kNotify: {
      const int id = static_cast<int>(wParam);
      if (id != IDC_ABOUT_SOCIAL_LINK && id != IDC_ABOUT_WEB_LINK) return false;
      OnLinkNotify(id, reinterpret_cast<const void*>(lParam));
      return true;
    }
    case msg::kDestroy:
      // The window no longer draws them.
      m_icons = WindowIcons();
      return true;
    default:
      return false;
  }
}

intptr_t CAboutDlg::OnInitDialog() {
  Log("Showing About box");
  DialogHost& host = Dialogs();
  std::wstring version;

  const std::wstring self = Fs().ModulePath();
  if (!self.empty() && GetFileProductVersion(self, &version)) {
    host.SetItemText(m_hWnd, IDC_ABOUT_TRAY_VERSION, version);
  }

  std::wstring command;
  const std::wstring service =
      GetServiceExecutablePath(&command) ? ProgramPathOf(command) : std::wstring();
  if (service.empty()) {
    host.SetItemText(m_hWnd, IDC_ABOUT_SERVICE_VERSION, L"not running");
  } else if (GetFileProductVersion(service, &version)) {
    host.SetItemText(m_hWnd, IDC_ABOUT_SERVICE_VERSION, version);
  }

  // The library the tray loads: beside the program (the tray never loads one from the current
  // folder or PATH, so a copy there must not be the version shown).
  host.SetItemText(m_hWnd, IDC_ABOUT_SHELL_VERSION,
                   GetFileProductVersion(FolderOf(self) + kShellHookLibrary, &version)
                       ? version
                       : L"Not found");

  host.SetItemText(m_hWnd, IDC_ABOUT_PRODUCT, kProductFullName);
  Windows().CenterWindow(m_hWnd);
  m_icons = SetProgramIcons(m_hWnd);

  std::string license;
  if (ShellUi().ResourceBytes(kLicenseResourceType, IDR_LICENSE, &license)) {
    host.SetItemText(m_hWnd, IDC_ABOUT_LICENSE, AnsiCodePage().AnsiToWide(license));
  }
  return 1;
}

bool CAboutDlg::OnCtlColorStatic(uintptr_t dc, intptr_t control, intptr_t& result) {
  if (Dialogs().ItemId(reinterpret_cast<Hwnd>(control)) != IDC_ABOUT_LICENSE) return false;
  Gdi& gdi = Graphics();
  const auto drawing = reinterpret_cast<Gdi::Dc>(dc);
  gdi.SetForegroundColor(drawing, kBlack);
  gdi.SetBackgroundColor(drawing, kWhite);
  result = reinterpret_cast<intptr_t>(gdi.StockWhiteBrush());
  return true;
}

void CAboutDlg::OnLinkNotify(int id, const void* header) {
  const auto* notify = static_cast<const NotifyHeader*>(header);
  if (notify == nullptr || notify->code != kNmClick) return;
  ShellUi().OpenWithShell(id == IDC_ABOUT_SOCIAL_LINK ? kMakerSocialPage : kMakerWebPage);
}

}  // namespace velmora
