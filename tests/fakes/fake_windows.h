// The user interface in memory: GDI objects counted by kind, windows and dialog controls, the
// message queue, and the shell's notification icon, menus and boxes.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/gdi.h"
#include "platform/shell.h"
#include "platform/window_system.h"

namespace velmora::fakes {

// Every object and icon alive by kind, and every misuse: deleting an object still selected, a
// DC that goes with our objects selected, a handle of the wrong kind. A drawing that leaves
// anything behind fails its test.
class FakeGdi : public Gdi {
 public:
  enum class Kind { kDc, kBitmap, kFont, kIcon, kStock };

  Dc GetWindowDc(Hwnd) override { return NewDc(); }
  void ReleaseWindowDc(Hwnd, Dc dc) override { DeleteMemoryDc(dc); }
  Dc CreateMemoryDc(Dc) override { return NewDc(); }
  void DeleteMemoryDc(Dc dc) override {
    for (Object object : selected_[dc]) misuse += Release(object, Kind::kStock) ? 0 : 1;
    selected_.erase(dc);
    misuse += Release(dc, Kind::kDc) ? 0 : 1;
  }
  Object CreateBitmap(Dc, int, int) override { return Make(Kind::kBitmap); }
  Object CreateTextFont(int height, int, uint8_t, uint8_t, const std::wstring&) override {
    return Font(Make(Kind::kFont), height);
  }
  Object Select(Dc dc, Object object) override {
    const auto it = alive_.find(object);
    misuse += it == alive_.end() || it->second == Kind::kDc || it->second == Kind::kIcon;
    return std::exchange(selected_[dc][heights_.count(object) != 0 ? 0 : 1], object);
  }
  void DeleteGdiObject(Object object) override {
    for (const auto& dc : selected_) misuse += dc.second[0] == object || dc.second[1] == object;
    misuse += Release(object, Kind::kFont) || Release(object, Kind::kBitmap) ? 0 : 1;
  }
  void FillWhite(Dc, const Rect&) override {}
  void FillBlack(Dc, const Rect&) override {}
  void SetBackgroundColor(Dc, uint32_t) override {}
  void SetForegroundColor(Dc, uint32_t) override {}
  void DrawTextIn(Dc dc, const std::wstring& text, const Rect&, uint32_t) override {
    drawn.push_back({text, heights_[selected_[dc][0]]});
  }
  IconHandle CreateIconFromBitmaps(Object, Object) override { return Make(Kind::kIcon); }
  Object StockWhiteBrush() override { return &stockBrush_; }

  void* Make(Kind kind) {
    void* handle = reinterpret_cast<void*>(next_ += 0x10);
    alive_[handle] = kind;
    return handle;
  }
  bool Release(void* handle, Kind kind) {
    const auto it = alive_.find(handle);
    if (it == alive_.end() || it->second != kind) return false;
    alive_.erase(it);
    return true;
  }
  int Alive(Kind kind) const {
    int count = 0;
    for (const auto& entry : alive_) count += entry.second == kind ? 1 : 0;
    return count;
  }

  int misuse = 0;
  std::vector<std::pair<std::wstring, int>> drawn;  // text and font height

 private:
  Object Font(Object font, int height) {
    heights_[font] = height;
    return font;
  }
  // A new DC holds a stock font and bitmap, which must be selected back before it goes.
  Dc NewDc() {
    Dc dc = Make(Kind::kDc);
    selected_[dc] = {Font(Make(Kind::kStock), 0), Make(Kind::kStock)};
    return dc;
  }

  std::map<void*, Kind> alive_;
  std::map<Dc, std::vector<Object>> selected_;  // font, bitmap
  std::map<void*, int> heights_;                // of every font
  int stockBrush_ = 0;
  uintptr_t next_ = 0x900000;
};

// Windows and their dialog controls. Creating a dialog delivers WM_INITDIALOG at once, as
// CreateDialogParam does; a modal one then runs modalScript (the user, while it is shown). A
// window made without a handler takes whatever reaches it.
// FetchMessage on an empty queue answers WM_QUIT (exit code -777), so that a test that forgot
// its quit fails instead of hanging. Icons are counted with the GDI objects.
class FakeWindows : public WindowSystem, public DialogHost {
 public:
  static constexpr uint32_t kFetchFails = 0xFFFF;  // queued: the next fetch fails
  struct Item {
    std::wstring text;
    bool visible = false;
    bool enabled = true;
    bool checked = false;
    std::wstring list;  // a list box's entries, "," after each
  };

  explicit FakeWindows(FakeGdi& gdi) : gdi_(gdi) {}

  void InitCommonControls(uint32_t) override {}
  Hwnd CreateModelessDialog(int, Hwnd, WindowHandler* handler) override {
    if (failCreate) return nullptr;
    const Hwnd hwnd = reinterpret_cast<Hwnd>(next_ += 0x10);
    windows_[hwnd] = handler;
    Send(hwnd, msg::kInitDialog, 0, 0);
    return hwnd;
  }
  // The EndDialog result, -2 when the script left the dialog open, -1 when creation fails.
  intptr_t RunModalDialog(int, Hwnd, WindowHandler* handler) override {
    const Hwnd hwnd = CreateModelessDialog(0, nullptr, handler);
    if (hwnd == nullptr) return -1;
    if (modalScript) modalScript(hwnd);
    DestroyWindow(hwnd);
    return ended.count(hwnd) != 0 ? ended[hwnd] : -2;
  }
  Hwnd ActiveWindow() override { return nullptr; }
  bool DestroyWindow(Hwnd hwnd) override {
    if (windows_.count(hwnd) == 0) return false;
    intptr_t result = 0;
    if (windows_[hwnd]) windows_[hwnd]->ProcessWindowMessage(hwnd, msg::kDestroy, 0, 0, result);
    return windows_.erase(hwnd) != 0;
  }
  void CenterWindow(Hwnd) override {}
  bool PeekWaiting(Message* message) override {
    if (!queue.empty()) *message = queue.front();
    return !queue.empty();
  }
  int FetchMessage(Message* message) override {
    *message = Message{nullptr, msg::kQuit, static_cast<uintptr_t>(-777), 0};
    if (queue.empty()) return 0;
    const Message next = queue.front();
    queue.pop_front();
    if (next.message == kFetchFails) return -1;
    *message = next;
    return next.message == msg::kQuit ? 0 : 1;
  }
  void TranslateAndDispatch(const Message& m) override {
    Send(m.hwnd, m.message, m.wParam, m.lParam);
  }
  bool IsDialogMessageFor(Hwnd, Message* message) override {
    return claimed.count(message->message) != 0;
  }
  bool Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (hwnd != nullptr && windows_.count(hwnd) == 0) return false;
    queue.push_back(Message{hwnd, message, wParam, lParam});
    return true;
  }
  intptr_t Send(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    // A dialog that has ended takes no more input.
    intptr_t result = 0;
    if (windows_.count(hwnd) != 0 && windows_[hwnd] != nullptr && ended.count(hwnd) == 0) {
      windows_[hwnd]->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
    }
    return result;
  }
  void PostQuit(int exitCode) override { Post(nullptr, msg::kQuit, exitCode, 0); }
  bool StartTimer(Hwnd, uintptr_t, uint32_t) override { return true; }
  uint32_t RegisterMessageName(const std::wstring&) override { return 0xC100; }
  int SystemMetric(int) override { return 16; }
  IconHandle LoadIconResource(int, int, int) override { return gdi_.Make(FakeGdi::Kind::kIcon); }
  void DestroyIcon(IconHandle icon) override {
    gdi_.misuse += gdi_.Release(icon, FakeGdi::Kind::kIcon) ? 0 : 1;
  }

  void SetItemText(Hwnd dialog, int id, const std::wstring& text) override {
    item(dialog, id).text = text;
  }
  std::wstring GetItemText(Hwnd dialog, int id) override { return item(dialog, id).text; }
  void ShowItem(Hwnd dialog, int id, bool show) override { item(dialog, id).visible = show; }
  void EnableItem(Hwnd dialog, int id, bool enable) override { item(dialog, id).enabled = enable; }
  void CheckItem(Hwnd dialog, int id, bool checked) override { item(dialog, id).checked = checked; }
  bool IsItemChecked(Hwnd dialog, int id) override { return item(dialog, id).checked; }
  void FocusItem(Hwnd, int) override {}
  void ClearList(Hwnd dialog, int id) override { item(dialog, id).list.clear(); }
  void AddListEntry(Hwnd dialog, int id, const std::wstring& text) override {
    item(dialog, id).list += text + L",";
  }
  void EndDialog(Hwnd dialog, intptr_t result) override { ended[dialog] = result; }
  void BringToForeground(Hwnd) override {}
  // The fake makes no control windows: a control's handle is its id.
  int ItemId(Hwnd control) override {
    return static_cast<int>(reinterpret_cast<intptr_t>(control));
  }

  Item& item(Hwnd dialog, int id) { return items_[{dialog, id}]; }

  bool failCreate = false;
  std::function<void(Hwnd dialog)> modalScript;
  std::set<uint32_t> claimed;  // the messages IsDialogMessageFor claims
  std::deque<Message> queue;
  std::map<Hwnd, intptr_t> ended;

 private:
  FakeGdi& gdi_;
  std::map<Hwnd, WindowHandler*> windows_;
  std::map<std::pair<Hwnd, int>, Item> items_;
  uintptr_t next_ = 0x10000;
};

// The program's own English string table (resource id -> text), read from resources/resource.h
// and the .rc, so that the fake shell serves exactly the strings the real program carries.
const std::map<int, std::wstring>& ProgramStringTable();

// Records notification-area calls, shown menus, message boxes (answered with OK) and shell
// opens; serves the program's string resources and scripted locale answers, versions and menu
// choices.
class FakeShell : public Shell {
 public:
  bool NotifyIcon(uint32_t action, const NotifyIconData& data) override {
    notified.emplace_back(action, data);
    return !(action == nim::kAdd && failAdd);
  }
  MenuHandle CreatePopupMenu() override {
    const MenuHandle menu = reinterpret_cast<MenuHandle>(nextMenu_ += 0x10);
    menus[menu];
    return menu;
  }
  // A menu is recorded as its items' texts, "|" between them and "~" before a grey one.
  void AppendMenuItem(MenuHandle menu, uint32_t, const std::wstring& text, bool grey) override {
    std::wstring& items = menus.at(menu);
    items += (items.empty() ? L"" : L"|") + std::wstring(grey ? L"~" : L"") + text;
  }
  void DestroyMenu(MenuHandle menu) override { menus.erase(menu); }
  uint32_t TrackMenuAtCursor(MenuHandle menu, Hwnd) override {
    shownMenus.push_back(menus.at(menu));
    return menuAnswer;
  }
  bool IsKeyDown(int key) override { return key == kVkControl && controlDown; }
  int ShowMessageBox(Hwnd owner, const std::wstring& text, const std::wstring& caption,
                     uint32_t type) override {
    boxes += (owner != nullptr ? L"(owned) " : L"") + caption + L": " + text + L" (" +
             std::to_wstring(type) + L")";
    return win::kIdOk;
  }
  void OpenWithShell(const std::wstring& target) override { opened.push_back(target); }
  // Answers the scripted outcome; an installed hook stays until it is removed.
  HookInstall InstallCbtHook(const std::wstring&, const char*, HookHandle* hook,
                             uint32_t* error) override {
    if (hookOutcome == HookInstall::kHookFailed) *error = 1428;  // ERROR_HOOK_NEEDS_HMOD
    if (hookOutcome == HookInstall::kInstalled) *hook = installedHook = &hookOutcome;
    return hookOutcome;
  }
  bool RemoveHook(HookHandle hook) override {
    const bool ours = hook == installedHook;
    if (ours) installedHook = nullptr;
    return ours;
  }
  std::wstring LoadStringResource(int id, int capacity) override {
    const auto it = ProgramStringTable().find(id);
    if (it == ProgramStringTable().end() || capacity <= 0) return std::wstring();
    return it->second.substr(0, static_cast<size_t>(capacity - 1));
  }
  bool DefaultInputLanguage(uint16_t* langId) override {
    *langId = inputLanguage;
    return inputLanguage != 0;
  }
  std::wstring LocaleInfo(uint32_t lcid, uint32_t type) override {
    const auto it = localeInfo.find({lcid, type});
    return it == localeInfo.end() ? std::wstring() : it->second;
  }
  bool FileProductVersion(const std::wstring& path, uint32_t* most, uint32_t* least) override {
    const auto it = productVersions.find(path);
    if (it != productVersions.end()) std::tie(*most, *least) = it->second;
    return it != productVersions.end();
  }
  bool ResourceBytes(const std::wstring& type, int id, std::string* bytes) override {
    const auto it = resources.find({type, id});
    if (it != resources.end()) *bytes = it->second;
    return it != resources.end();
  }

  bool failAdd = false;
  HookInstall hookOutcome = HookInstall::kInstalled;
  HookHandle installedHook = nullptr;
  bool controlDown = false;
  uint32_t menuAnswer = 0;
  uint16_t inputLanguage = 0;  // 0: the query fails
  std::map<std::pair<uint32_t, uint32_t>, std::wstring> localeInfo;
  // Files with version information: path -> (dwProductVersionMS, dwProductVersionLS).
  std::map<std::wstring, std::pair<uint32_t, uint32_t>> productVersions;
  std::map<std::pair<std::wstring, int>, std::string> resources;

  std::vector<std::pair<uint32_t, NotifyIconData>> notified;  // action and data
  std::map<MenuHandle, std::wstring> menus;                   // alive
  std::vector<std::wstring> shownMenus;
  std::wstring boxes;  // "caption: text (type)" one after the other
  std::vector<std::wstring> opened;

 private:
  uintptr_t nextMenu_ = 0x700000;
};

}  // namespace velmora::fakes
