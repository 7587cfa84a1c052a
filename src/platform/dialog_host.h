// What a dialog's logic does to its own window and controls. Every call names the dialog
// window and, where it applies, the control id, as GetDlgItem would.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace velmora {

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  virtual void SetItemText(Hwnd dialog, int id, const std::wstring& text) = 0;
  // The control's whole text (GetWindowTextLengthW + GetWindowTextW).
  virtual std::wstring GetItemText(Hwnd dialog, int id) = 0;
  virtual void ShowItem(Hwnd dialog, int id, bool show) = 0;
  virtual void EnableItem(Hwnd dialog, int id, bool enable) = 0;
  virtual void CheckItem(Hwnd dialog, int id, bool checked) = 0;
  virtual bool IsItemChecked(Hwnd dialog, int id) = 0;
  virtual void FocusItem(Hwnd dialog, int id) = 0;
  // List boxes: LB_RESETCONTENT and LB_ADDSTRING.
  virtual void ClearList(Hwnd dialog, int id) = 0;
  virtual void AddListEntry(Hwnd dialog, int id, const std::wstring& text) = 0;
  virtual void EndDialog(Hwnd dialog, intptr_t result) = 0;
  virtual void BringToForeground(Hwnd window) = 0;
  // The control id of a dialog's control (GetDlgCtrlID); 0 for a window that is none.
  virtual int ItemId(Hwnd control) = 0;
};

}  // namespace velmora
