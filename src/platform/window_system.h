// The small window framework the logic stands on: dialogs created from templates, the message
// primitives a message loop is built from, timers and icons.
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.h"
#include "platform/types.h"

namespace velmora {

// A window's message map. Answers true when it handled the message (result then holds the
// handler's result); false sends the message on to the framework's default dialog handling.
class WindowHandler {
 public:
  virtual ~WindowHandler() = default;
  virtual bool ProcessWindowMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam, intptr_t& result) = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // InitCommonControlsEx with the given ICC_ classes.
  virtual void InitCommonControls(uint32_t classes) = 0;

  // Creates a modeless dialog from a template resource; its WM_INITDIALOG reaches the handler
  // before this returns. nullptr on failure.
  virtual Hwnd CreateModelessDialog(int templateId, Hwnd parent, WindowHandler* handler) = 0;
  // Runs a modal dialog from a template (DialogBoxParamW) and answers its EndDialog result,
  // or -1 when it could not be created.
  virtual intptr_t RunModalDialog(int templateId, Hwnd parent, WindowHandler* handler) = 0;
  // The calling thread's active window (GetActiveWindow), the parent of modal dialogs.
  virtual Hwnd ActiveWindow() = 0;
  virtual bool DestroyWindow(Hwnd hwnd) = 0;
  virtual void CenterWindow(Hwnd hwnd) = 0;

  // Message primitives: PeekMessage without removing, GetMessage (1, 0 for WM_QUIT, -1),
  // TranslateMessage + DispatchMessage, IsDialogMessage.
  virtual bool PeekWaiting(Message* message) = 0;
  virtual int FetchMessage(Message* message) = 0;
  virtual void TranslateAndDispatch(const Message& message) = 0;
  virtual bool IsDialogMessageFor(Hwnd dialog, Message* message) = 0;

  virtual bool Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  virtual intptr_t Send(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  virtual void PostQuit(int exitCode) = 0;
  virtual bool StartTimer(Hwnd hwnd, uintptr_t id, uint32_t periodMs) = 0;
  virtual uint32_t RegisterMessageName(const std::wstring& name) = 0;

  virtual int SystemMetric(int index) = 0;
  // Loads an icon resource of the program at the given size; the caller owns it.
  virtual IconHandle LoadIconResource(int id, int cx, int cy) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
};

}  // namespace velmora
