// Dialog controls in memory, keyed by dialog and control id. The test plays the user by
// setting texts and checks before sending the dialog its WM_COMMAND. The fake makes no control
// windows: where a message names a control by its window, the handle is the control's id.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_window_system.h"
#include "platform/dialog_host.h"

namespace velmora::fakes {

class FakeDialogHost : public DialogHost {
 public:
  struct Item {
    std::wstring text;
    bool visible = false;  // as the template has the link
    bool enabled = true;
    bool checked = false;
    std::vector<std::wstring> list;
  };

  explicit FakeDialogHost(FakeWindowSystem& windows) : windows_(windows) {}

  void SetItemText(Hwnd dialog, int id, const std::wstring& text) override {
    item(dialog, id).text = text;
  }
  std::wstring GetItemText(Hwnd dialog, int id) override { return item(dialog, id).text; }
  void ShowItem(Hwnd dialog, int id, bool show) override { item(dialog, id).visible = show; }
  void EnableItem(Hwnd dialog, int id, bool enable) override { item(dialog, id).enabled = enable; }
  void CheckItem(Hwnd dialog, int id, bool checked) override { item(dialog, id).checked = checked; }
  bool IsItemChecked(Hwnd dialog, int id) override { return item(dialog, id).checked; }
  void FocusItem(Hwnd dialog, int id) override { focused[dialog] = id; }
  void ClearList(Hwnd dialog, int id) override { item(dialog, id).list.clear(); }
  void AddListEntry(Hwnd dialog, int id, const std::wstring& text) override {
    item(dialog, id).list.push_back(text);
  }
  void EndDialog(Hwnd dialog, intptr_t result) override { windows_.MarkEnded(dialog, result); }
  void BringToForeground(Hwnd) override {}
  int ItemId(Hwnd control) override {
    return static_cast<int>(reinterpret_cast<intptr_t>(control));
  }

  Item& item(Hwnd dialog, int id) { return items_[{dialog, id}]; }
  std::map<Hwnd, int> focused;

 private:
  FakeWindowSystem& windows_;
  std::map<std::pair<Hwnd, int>, Item> items_;
};

}  // namespace velmora::fakes
