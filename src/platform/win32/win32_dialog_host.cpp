#include "platform/win32/win32_dialog_host.h"

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <vector>

#include "platform/messages.h"

namespace velmora {
namespace {

HWND Item(Hwnd dialog, int id) { return ::GetDlgItem(static_cast<HWND>(dialog), id); }

}  // namespace

static_assert(WM_NOTIFY == msg::kNotify && static_cast<uint32_t>(NM_CLICK) == kNmClick && IDOK == kIdOk &&
                  IDCANCEL == kIdCancel,
              "notification values cross the seam unchanged");
static_assert(sizeof(NMHDR) == sizeof(NotifyHeader) &&
                  offsetof(NMHDR, code) == offsetof(NotifyHeader, code) &&
                  offsetof(NMHDR, idFrom) == offsetof(NotifyHeader, idFrom),
              "WM_NOTIFY's header is read through NotifyHeader");

void Win32DialogHost::SetItemText(Hwnd dialog, int id, const std::wstring& text) {
  ::SetDlgItemTextW(static_cast<HWND>(dialog), id, text.c_str());
}

std::wstring Win32DialogHost::GetItemText(Hwnd dialog, int id) {
  HWND item = Item(dialog, id);
  if (item == nullptr) return std::wstring();
  const int length = ::GetWindowTextLengthW(item);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(item, buffer.data(), length + 1);
  return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void Win32DialogHost::ShowItem(Hwnd dialog, int id, bool show) {
  if (HWND item = Item(dialog, id)) ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

void Win32DialogHost::EnableItem(Hwnd dialog, int id, bool enable) {
  if (HWND item = Item(dialog, id)) ::EnableWindow(item, enable ? TRUE : FALSE);
}

void Win32DialogHost::CheckItem(Hwnd dialog, int id, bool checked) {
  ::CheckDlgButton(static_cast<HWND>(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32DialogHost::IsItemChecked(Hwnd dialog, int id) {
  return ::IsDlgButtonChecked(static_cast<HWND>(dialog), id) == BST_CHECKED;
}

void Win32DialogHost::FocusItem(Hwnd dialog, int id) {
  if (HWND item = Item(dialog, id)) ::SetFocus(item);
}

void Win32DialogHost::ClearList(Hwnd dialog, int id) {
  ::SendDlgItemMessageW(static_cast<HWND>(dialog), id, LB_RESETCONTENT, 0, 0);
}

void Win32DialogHost::AddListEntry(Hwnd dialog, int id, const std::wstring& text) {
  ::SendDlgItemMessageW(static_cast<HWND>(dialog), id, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32DialogHost::EndDialog(Hwnd dialog, intptr_t result) {
  ::EndDialog(static_cast<HWND>(dialog), result);
}

void Win32DialogHost::BringToForeground(Hwnd window) {
  ::SetForegroundWindow(static_cast<HWND>(window));
}

int Win32DialogHost::ItemId(Hwnd control) { return ::GetDlgCtrlID(static_cast<HWND>(control)); }

}  // namespace velmora
