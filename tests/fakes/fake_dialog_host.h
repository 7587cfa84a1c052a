// Dialog controls in memory, keyed by dialog and control id. The test plays the user by
// setting texts and ticks before sending the dialog its WM_COMMAND.
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
  explicit FakeDialogHost(FakeWindowSystem& windows) : windows_(windows) {}

  void SetItemText(Hwnd dialog, int id, const std::wstring& text) override {
    items_[{dialog, id}].text = text;
  }
  std::wstring GetItemText(Hwnd dialog, int id) override { return items_[{dialog, id}].text; }
  void ShowItem(Hwnd dialog, int id, bool show) override { items_[{dialog, id}].visible = show; }
  void EnableItem(Hwnd dialog, int id, bool enable) override {
    items_[{dialog, id}].enabled = enable;
  }
  void CheckItem(Hwnd dialog, int id, bool checked) override {
    items_[{dialog, id}].checked = checked;
  }
  bool IsItemChecked(Hwnd dialog, int id) override { return items_[{dialog, id}].checked; }
  void FocusItem(Hwnd dialog, int id) override { focused_[dialog] = id; }
  void ClearList(Hwnd dialog, int id) override { items_[{dialog, id}].list.clear(); }
  void AddListEntry(Hwnd dialog, int id, const std::wstring& text) override {
    items_[{dialog, id}].list.push_back(text);
  }
  void EndDialog(Hwnd dialog, intptr_t result) override {
    ends_.emplace_back(dialog, result);
    windows_.MarkEnded(dialog, result);
  }
  void BringToForeground(Hwnd window) override { foreground_.push_back(window); }

  struct Item {
    std::wstring text;
    bool visible = true;  // templates show their controls unless the test says otherwise
    bool enabled = true;
    bool checked = false;
    std::vector<std::wstring> list;
  };
  Item& item(Hwnd dialog, int id) { return items_[{dialog, id}]; }
  int focused(Hwnd dialog) const {
    auto it = focused_.find(dialog);
    return it == focused_.end() ? 0 : it->second;
  }
  const std::vector<std::pair<Hwnd, intptr_t>>& ends() const { return ends_; }
  const std::vector<Hwnd>& foreground() const { return foreground_; }

 private:
  FakeWindowSystem& windows_;
  std::map<std::pair<Hwnd, int>, Item> items_;
  std::map<Hwnd, int> focused_;
  std::vector<std::pair<Hwnd, intptr_t>> ends_;
  std::vector<Hwnd> foreground_;
};

}  // namespace velmora::fakes
