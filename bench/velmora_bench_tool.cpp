// velmora_bench_tool: the measurements that bench/run_*.sh take under Wine.
#include "driver.h"  // <windows.h> before the headers below

#include <psapi.h>
#include <shellapi.h>

#include "elevation/channel_records.h"

namespace {

using namespace driver;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Fixed(double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.1f", value);
  return text;
}

double NowUs() {
  static const double perUs = [] {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1e6;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / perUs;
}

// One start of <exe>: milliseconds until its hidden main window (class, title) exists and until
// it first waits for input; 500 ms later its peak working set. Prints "window_ms ready_ms kb".
int MeasureStartup(const Args& a) {
  std::wstring commandLine = L"\"" + a[2] + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const double start = NowUs();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return Fail("CreateProcessW");
  }
  const std::wstring pid = std::to_wstring(info.dwProcessId);
  double windowMs = -1;
  while (NowUs() - start < 30e6 && WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT) {
    if (FindTopLevel(pid, a[0], a[1], false)) {
      windowMs = (NowUs() - start) / 1000;
      break;
    }
  }
  const bool idle = WaitForInputIdle(info.hProcess, 10000) == 0;
  const double readyMs = std::max(idle ? (NowUs() - start) / 1000 : windowMs, windowMs);
  Sleep(500);
  PROCESS_MEMORY_COUNTERS counters{};
  const bool memory = GetProcessMemoryInfo(info.hProcess, &counters, sizeof(counters));
  DWORD exitCode = 0;
  GetExitCodeProcess(info.hProcess, &exitCode);
  TerminateProcess(info.hProcess, 0);
  // The next start must not meet this one's single-instance mutex.
  const bool ended = WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0;
  if (windowMs < 0 || exitCode != STILL_ACTIVE || !memory || !ended) {
    return Fail("window " + std::string(windowMs < 0 ? "missing" : "found") + ", exit code " +
                std::to_string(exitCode) + ", memory " + (memory ? "ok" : "n/a") + ", ended " +
                (ended ? "yes" : "no"));
  }
  Print(Fixed(windowMs) + " " + Fixed(readyMs) + " " +
        std::to_string(counters.PeakWorkingSetSize / 1024) + (idle ? "" : " (no input-idle)"));
  return kOk;
}

// PrivateUsage, or PagefileUsage where Wine 8 leaves PrivateUsage at 0 (on Windows the two are
// the same commit charge).
bool Memory(DWORD pid, SIZE_T& privateBytes, SIZE_T& workingSet) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  PROCESS_MEMORY_COUNTERS_EX counters{};
  const bool ok = process && GetProcessMemoryInfo(
                                 process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof(counters));
  if (process) CloseHandle(process);
  privateBytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  workingSet = counters.WorkingSetSize;
  return ok;
}

int PrivateBytes(const Args& a) {
  const std::vector<DWORD> pids = Processes(a[0]);
  SIZE_T privateBytes = 0, workingSet = 0;
  if (pids.empty() || !Memory(pids[0], privateBytes, workingSet)) return kNotFound;
  Print("PRIVATE " + std::to_string(privateBytes) + " WORKING_SET " + std::to_string(workingSet));
  return kOk;
}

// Sends WM_TIMER <count> times (synchronous: each time is the whole handling of one tick), each
// followed by a WM_NULL (what a cross-process send costs by itself), and reads the private bytes
// of the window's process around them.
int TickBench(const Args& a) {
  HWND window = a.Window(0);
  const unsigned long long count = a.Num(1);
  if (count == 0) throw BadUsage{};
  SIZE_T before = 0, after = 0, wsBefore = 0, wsAfter = 0;
  if (!Memory(PidOf(window), before, wsBefore)) return Fail("GetProcessMemoryInfo");
  std::vector<double> tick, nullSend;
  for (unsigned long long i = 0; i < count; ++i) {
    for (auto [message, into] : {std::pair{WM_TIMER, &tick}, std::pair{WM_NULL, &nullSend}}) {
      DWORD_PTR result = 0;
      const double t0 = NowUs();
      if (!SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
        return Fail("SendMessageTimeoutW at tick " + std::to_string(i));
      }
      into->push_back(NowUs() - t0);
    }
  }
  if (!Memory(PidOf(window), after, wsAfter)) return Fail("GetProcessMemoryInfo");
  std::vector<double> sorted = tick;
  std::sort(sorted.begin(), sorted.end());
  const auto at = [&](double q) {
    return Fixed(sorted[static_cast<size_t>(q * (sorted.size() - 1))]);
  };
  Print("TICKS " + std::to_string(count));
  Print("TICK_US median=" + Fixed(Median(tick)) + " p95=" + at(0.95) + " p99=" + at(0.99) +
        " max=" + at(1));
  Print("NULL_US median=" + Fixed(Median(nullSend)));
  Print(
      "PRIVATE_BYTES before=" + std::to_string(before) + " after=" + std::to_string(after) +
      " growth=" + std::to_string(static_cast<long long>(after) - static_cast<long long>(before)));
  Print("WORKING_SET before=" + std::to_string(wsBefore) + " after=" + std::to_string(wsAfter));
  return kOk;
}

bool ReadSetting(HKEY root, const wchar_t* path, REGSAM view, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  wchar_t buffer[64];
  DWORD size = sizeof(buffer);
  const bool found = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                                      &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

// The 16 by 16 countdown icon with `seconds` on it, drawn as the tray draws it.
HICON DrawCountdown(HWND window, int seconds) {
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP color = CreateCompatibleBitmap(screen, 16, 16);
  HBITMAP mask = CreateCompatibleBitmap(memory, 16, 16);
  ReleaseDC(window, screen);
  RECT square = {0, 0, 16, 16};
  HGDIOBJ oldBitmap = SelectObject(memory, mask);
  FillRect(memory, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SelectObject(memory, color);
  FillRect(memory, &square, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const int height = seconds < 10 ? 18 : seconds < 99 ? 16 : 12;
  HFONT font =
      CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
  HGDIOBJ oldFont = SelectObject(memory, font);
  SetBkColor(memory, RGB(255, 255, 255));
  SetTextColor(memory, RGB(0, 0, 0));
  const std::wstring text = std::to_wstring(seconds);
  DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &square, DT_CENTER | DT_WORDBREAK);
  SelectObject(memory, oldFont);
  SelectObject(memory, oldBitmap);
  ICONINFO info = {TRUE, 0, 0, mask, color};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(font);
  DeleteDC(memory);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

// The platform calls one countdown tick is made of, bare, in this process: the setting read (a
// policy key in both views, then the product key), the "timerEnd" read, the icon drawn,
// NIM_MODIFY of this process's own icon, the old icon destroyed. The floor under the tray's tick.
int TickFloor(const Args& a) {
  const unsigned long long count = a.Num(0);
  if (count == 0) throw BadUsage{};
  HWND window = CreateWindowExW(0, L"STATIC", L"velmora tick floor", 0, 0, 0, 0, 0, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_USER + 1;
  data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wcscpy_s(data.szTip, L"Velmora");
  if (!window || !Shell_NotifyIconW(NIM_ADD, &data)) return Fail("no notification icon");
  constexpr wchar_t kPolicy[] = L"SOFTWARE\\Policies\\Ostrand\\Velmora";
  constexpr wchar_t kProduct[] = L"Software\\Ostrand\\Velmora";
  std::vector<double> registry, drawing, notify, total;
  HICON previous = nullptr;
  for (unsigned long long i = 0; i < count; ++i) {
    const double t0 = NowUs();
    ReadSetting(HKEY_LOCAL_MACHINE, kPolicy, KEY_WOW64_64KEY, L"VisibleCountDown") ||
        ReadSetting(HKEY_LOCAL_MACHINE, kPolicy, KEY_WOW64_32KEY, L"VisibleCountDown") ||
        ReadSetting(HKEY_LOCAL_MACHINE, kProduct, KEY_WOW64_64KEY, L"VisibleCountDown");
    ReadSetting(HKEY_CURRENT_USER, kProduct, KEY_WOW64_64KEY, L"timerEnd");
    const double t1 = NowUs();
    data.hIcon = DrawCountdown(window, 998 - static_cast<int>(i % 990));
    const double t2 = NowUs();
    Shell_NotifyIconW(NIM_MODIFY, &data);
    const double t3 = NowUs();
    if (previous) DestroyIcon(previous);
    previous = data.hIcon;
    const double t4 = NowUs();
    registry.push_back(t1 - t0);
    drawing.push_back(t2 - t1 + t4 - t3);
    notify.push_back(t3 - t2);
    total.push_back(t4 - t0);
  }
  Shell_NotifyIconW(NIM_DELETE, &data);
  Print("FLOOR_US median=" + Fixed(Median(total)) + " registry=" + Fixed(Median(registry)) +
        " drawing=" + Fixed(Median(drawing)) + " notify=" + Fixed(Median(notify)));
  return kOk;
}

// Sets the service's START event as the service does, printing "SET <GetTickCount64>" (the
// clock of Wine's +timestamp) just before each signal.
int SignalStart(const Args& a) {
  const unsigned long long count = a.Num(0);
  const DWORD interval = a.Ms(1);
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, velmora::channel::kStartEventName);
  if (!event) return Fail("OpenEventW START");
  for (unsigned long long i = 0; i < count; ++i) {
    Print("SET " + std::to_string(GetTickCount64()));
    SetEvent(event);
    Sleep(interval);
  }
  return kOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return Run(
      "velmora_bench_tool",
      {
          {"measure-startup", "<class> <title> <exe>", "one start: window, ready, peak",
           MeasureStartup},
          {"private-bytes", "<pid|image>", "PrivateUsage and working set", PrivateBytes},
          {"tick-bench", "<hwnd> <count>", "time WM_TIMER sends, private bytes", TickBench},
          {"tick-floor", "<count>", "bare platform calls of one tick", TickFloor},
          {"signal-start", "<count> <interval_ms>", "set START, print GetTickCount64", SignalStart},
      },
      argc, argv);
}
