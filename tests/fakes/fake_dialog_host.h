// Dialog controls in memory, keyed by dialog and control id. The test plays the user by
// setting texts before sending the dialog its WM_COMMAND.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "fakes/fake_window_system.h"
#include "platform/dialog_host.h"

namespace velmora::fakes {

class FakeDialogHost : public DialogHost {
 public:
  struct Item {
    std::wstring text;
    bool visible = false;  // as the template has the link
  };

  explicit FakeDialogHost(FakeWindowSystem& windows) : windows_(windows) {}

  void SetItemText(Hwnd dialog, int id, const std::wstring& text) override {
    item(dialog, id).text = text;
  }
  std::wstring GetItemText(Hwnd dialog, int id) override { return item(dialog, id).text; }
  void ShowItem(Hwnd dialog, int id, bool show) override { item(dialog, id).visible = show; }
  void EnableItem(Hwnd, int, bool) override {}
  void CheckItem(Hwnd, int, bool) override {}
  bool IsItemChecked(Hwnd, int) override { return false; }
  void FocusItem(Hwnd dialog, int id) override { focused[dialog] = id; }
  void ClearList(Hwnd, int) override {}
  void AddListEntry(Hwnd, int, const std::wstring&) override {}
  void EndDialog(Hwnd dialog, intptr_t result) override { windows_.MarkEnded(dialog, result); }
  void BringToForeground(Hwnd) override {}

  Item& item(Hwnd dialog, int id) { return items_[{dialog, id}]; }
  std::map<Hwnd, int> focused;

 private:
  FakeWindowSystem& windows_;
  std::map<std::pair<Hwnd, int>, Item> items_;
};

}  // namespace velmora::fakes
