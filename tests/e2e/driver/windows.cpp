// The tray's windows as a user or the system reaches them: its hidden main window, messages,
// message boxes and dialogs.
#include "driver.h"

namespace driver {
namespace {

// WM_GETTEXT is marshalled across processes, unlike GetWindowText on another process's child.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0, copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return {};
  }
  std::vector<wchar_t> text(length + 2, L'\0');
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 2000, &copied)) {
    return {};
  }
  return std::wstring(text.data(), std::min<size_t>(copied, text.size() - 1));
}

// The entries of another process's list box, in the list's order, joined by "|".
std::string ListEntries(HWND list) {
  DWORD_PTR count = 0;
  SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
  std::string entries;
  for (DWORD_PTR i = 0; i < count && count != static_cast<DWORD_PTR>(LB_ERR); ++i) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 2000, &length) ||
        length == static_cast<DWORD_PTR>(LB_ERR)) {
      continue;
    }
    std::vector<wchar_t> text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    entries += (i ? "|" : "") + ToUtf8(std::wstring(text.data(), std::min<size_t>(copied, length)));
  }
  return entries;
}

int FindMain(const Args& a) {
  HWND main = PollUntil(a.Ms(1), [&] { return FindTopLevel(a[0], L"#32770", L"Velmora", false); });
  if (!main) return kNotFound;
  Print(Hex(reinterpret_cast<uintptr_t>(main)));
  return kOk;
}

int Pids(const Args& a) {
  const std::vector<DWORD> pids = Processes(a[0]);
  for (DWORD pid : pids) Print(std::to_string(pid));
  return pids.empty() ? kNotFound : kOk;
}

int PostOrSend(const Args& a, bool send) {
  HWND hwnd = a.Window(0);
  const auto msg = static_cast<UINT>(a.Num(1, UINT_MAX));
  const auto wparam = static_cast<WPARAM>(a.Num(2));
  const auto lparam = static_cast<LPARAM>(a.Num(3));
  if (!IsWindow(hwnd)) return Fail("no such window", kNotFound);
  if (!send) return PostMessageW(hwnd, msg, wparam, lparam) ? kOk : Fail("PostMessageW");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wparam, lparam, SMTO_ABORTIFHUNG, 10000, &result)) {
    return Fail("SendMessageTimeoutW");
  }
  Print("RESULT: " + std::to_string(static_cast<long long>(result)));
  return kOk;
}

// What a message box or dialog shows: its texts, its buttons with their ids, and every control
// with its place on the screen.
int DescribeWindow(const Args& a) {
  const std::wstring process = a.size() > 2 ? a[2] : L"";
  HWND window = PollUntil(a.Ms(1), [&] { return FindTopLevel(process, L"", a[0], true); });
  if (!window) return kNotFound;
  Print("HWND: " + Hex(reinterpret_cast<uintptr_t>(window)));
  Print("PID: " + std::to_string(PidOf(window)));
  for (HWND child : Windows(window)) {
    const std::wstring cls = ClassOf(child);
    std::string text = ToUtf8(TextOf(child));
    const std::string id = std::to_string(GetDlgCtrlID(child));
    // One output line per control, however many lines its text has.
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    if (CompareStringOrdinal(cls.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
      Print("BUTTON " + id + ": " + text);
    } else if (!text.empty()) {
      Print("TEXT: " + text);
    }
    RECT r{};
    GetWindowRect(child, &r);
    Print("CONTROL " + id + " " + ToUtf8(cls) + " visible=" + (IsWindowVisible(child) ? "1" : "0") +
          " centre=" + std::to_string((r.left + r.right) / 2) + "," +
          std::to_string((r.top + r.bottom) / 2));
    DWORD_PTR checked = 0;
    if (CompareStringOrdinal(cls.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
      SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &checked);
    }
    Print("STATE " + id + " enabled=" + (IsWindowEnabled(child) ? "1" : "0") +
          " checked=" + (checked == BST_CHECKED ? "1" : "0"));
    if (CompareStringOrdinal(cls.c_str(), -1, L"ListBox", -1, TRUE) == CSTR_EQUAL) {
      Print("LIST " + id + ": " + ListEntries(child));
    }
  }
  return kOk;
}

// A control's whole text, byte for byte (UTF-8, line ends kept), into a file.
int ItemTextToFile(const Args& a) {
  HWND item = GetDlgItem(a.Window(0), static_cast<int>(a.Num(1, INT_MAX)));
  if (!item) return Fail("no such control", kNotFound);
  const std::string text = ToUtf8(TextOf(item));
  FILE* file = _wfopen(a[2].c_str(), L"wb");
  if (!file) return Fail("cannot create the file");
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written ? kOk : Fail("cannot write the file");
}

// "%u.%u.%u.%u" of a file's product version, read as any program would.
int ProductVersion(const Args& a) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(a[0].c_str(), &ignored);
  std::vector<BYTE> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(a[0].c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) {
    return kNotFound;
  }
  Print(std::to_string(HIWORD(info->dwProductVersionMS)) + "." +
        std::to_string(LOWORD(info->dwProductVersionMS)) + "." +
        std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
        std::to_string(LOWORD(info->dwProductVersionLS)));
  return kOk;
}

// Typing into a control or clicking a button of a dialog, through the control itself.
int ToItem(const Args& a, bool click) {
  HWND item = GetDlgItem(a.Window(0), static_cast<int>(a.Num(1, INT_MAX)));
  if (!item) return Fail("no such control", kNotFound);
  const LPARAM text = click ? 0 : reinterpret_cast<LPARAM>(a[2].c_str());
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(item, click ? BM_CLICK : WM_SETTEXT, 0, text, SMTO_ABORTIFHUNG, 5000,
                             &result)
             ? kOk
             : Fail(click ? "BM_CLICK" : "WM_SETTEXT");
}

}  // namespace

std::vector<Command> WindowCommands() {
  return {
      {"find-main", "<pid|image> <timeout_ms>", "hidden main window (#32770 \"Velmora\")",
       FindMain},
      {"pids", "<image>", "Windows PIDs of running images", Pids},
      {"post", "<hwnd> <msg> <wparam> <lparam>", "post a window message",
       [](const Args& a) { return PostOrSend(a, false); }},
      {"send", "<hwnd> <msg> <wparam> <lparam>", "send a window message, print its result",
       [](const Args& a) { return PostOrSend(a, true); }},
      {"window", "<title> <timeout_ms> [pid|image]", "describe a visible window by exact title",
       DescribeWindow},
      {"set-item-text", "<hwnd> <id> <text>", "WM_SETTEXT to a dialog control",
       [](const Args& a) { return ToItem(a, false); }},
      {"click-item", "<hwnd> <id>", "BM_CLICK on a dialog button",
       [](const Args& a) { return ToItem(a, true); }},
      {"item-text", "<hwnd> <id> <file>", "a control's exact text into a file (UTF-8)",
       ItemTextToFile},
      {"product-version", "<path>", "product version of a file's version resource",
       ProductVersion},
  };
}

}  // namespace driver
