// Dialog controls in memory, keyed by dialog and control id. The test plays the user by
// setting texts before sending the dialog its WM_COMMAND. Enabling, ticks and list boxes are
// not modelled: the logic under test uses none of them.
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
  void EnableItem(Hwnd, int, bool) override {}
  void CheckItem(Hwnd, int, bool) override {}
  bool IsItemChecked(Hwnd, int) override { return false; }
  void FocusItem(Hwnd dialog, int id) override { focused_[dialog] = id; }
  void ClearList(Hwnd, int) override {}
  void AddListEntry(Hwnd, int, const std::wstring&) override {}
  void EndDialog(Hwnd dialog, intptr_t result) override {
    ends_.emplace_back(dialog, result);
    windows_.MarkEnded(dialog, result);
  }
  void BringToForeground(Hwnd) override {}

  struct Item {
    std::wstring text;
    bool visible = true;  // templates show their controls unless the test says otherwise
  };
  Item& item(Hwnd dialog, int id) { return items_[{dialog, id}]; }
  int focused(Hwnd dialog) const {
    auto it = focused_.find(dialog);
    return it == focused_.end() ? 0 : it->second;
  }
  const std::vector<std::pair<Hwnd, intptr_t>>& ends() const { return ends_; }

 private:
  FakeWindowSystem& windows_;
  std::map<std::pair<Hwnd, int>, Item> items_;
  std::map<Hwnd, int> focused_;
  std::vector<std::pair<Hwnd, intptr_t>> ends_;
};

}  // namespace velmora::fakes
