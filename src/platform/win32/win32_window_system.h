// The small window framework over user32/comctl32: dialogs from the program's templates whose
// messages go to a WindowHandler, and the message-loop primitives.
#pragma once

#include "platform/window_system.h"

namespace velmora {

class Win32WindowSystem final : public WindowSystem {
 public:
  // instance: the module whose dialog and icon resources are used (the program's HINSTANCE).
  explicit Win32WindowSystem(void* instance) : instance_(instance) {}

  void InitCommonControls(uint32_t classes) override;

  Hwnd CreateModelessDialog(int templateId, Hwnd parent, WindowHandler* handler) override;
  intptr_t RunModalDialog(int templateId, Hwnd parent, WindowHandler* handler) override;
  Hwnd ActiveWindow() override;
  bool DestroyWindow(Hwnd hwnd) override;
  void CenterWindow(Hwnd hwnd) override;

  bool PeekWaiting(Message* message) override;
  int FetchMessage(Message* message) override;
  void TranslateAndDispatch(const Message& message) override;
  bool IsDialogMessageFor(Hwnd dialog, Message* message) override;

  bool Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  intptr_t Send(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void PostQuit(int exitCode) override;
  bool StartTimer(Hwnd hwnd, uintptr_t id, uint32_t periodMs) override;
  uint32_t RegisterMessageName(const std::wstring& name) override;

  int SystemMetric(int index) override;
  IconHandle LoadIconResource(int id, int cx, int cy) override;
  void DestroyIcon(IconHandle icon) override;

 private:
  void* instance_;
};

}  // namespace velmora
