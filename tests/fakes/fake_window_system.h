// A message queue and window table in memory. Dialog creation delivers WM_INITDIALOG to the
// handler at once, as CreateDialogParam does; dispatch calls the target window's handler.
// FetchMessage on an empty queue answers WM_QUIT (exit code kStarvedExitCode) so that a test
// that forgot to post its quit fails instead of hanging.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace velmora::fakes {

class FakeGdi;

class FakeWindowSystem : public WindowSystem {
 public:
  static constexpr int kStarvedExitCode = -777;
  static constexpr intptr_t kNeverEnded = -2;

  explicit FakeWindowSystem(FakeGdi& gdi) : gdi_(gdi) {}

  void InitCommonControls(uint32_t) override {}
  Hwnd CreateModelessDialog(int templateId, Hwnd parent, WindowHandler* handler) override;
  // Delivers WM_INITDIALOG, runs modalScript (the user's actions while the dialog is shown),
  // then WM_DESTROY. Answers the EndDialog result, kNeverEnded when the script left the
  // dialog open, -1 when creation fails.
  intptr_t RunModalDialog(int templateId, Hwnd parent, WindowHandler* handler) override;
  Hwnd ActiveWindow() override { return nullptr; }
  bool DestroyWindow(Hwnd hwnd) override;
  void CenterWindow(Hwnd) override {}
  bool PeekWaiting(Message* message) override;
  int FetchMessage(Message* message) override;
  void TranslateAndDispatch(const Message& message) override;
  bool IsDialogMessageFor(Hwnd, Message* message) override {
    return claimed.count(message->message) != 0;
  }
  bool Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  intptr_t Send(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void PostQuit(int exitCode) override { Post(nullptr, msg::kQuit, exitCode, 0); }
  bool StartTimer(Hwnd, uintptr_t, uint32_t) override { return true; }
  uint32_t RegisterMessageName(const std::wstring& name) override;
  int SystemMetric(int) override { return 16; }
  IconHandle LoadIconResource(int, int, int) override;
  void DestroyIcon(IconHandle icon) override;

  bool failCreate = false;
  std::function<void(Hwnd dialog)> modalScript;
  // Messages IsDialogMessageFor claims.
  std::set<uint32_t> claimed;
  // EndDialog, as the dialog host reports it.
  void MarkEnded(Hwnd dialog, intptr_t result) { ended_[dialog] = result; }
  // A GetMessage failure (-1) before the next message.
  void QueueFetchFailure();
  // Messages waiting in the queue, oldest first.
  std::vector<Message> Queued() const;
  int liveIcons = 0;
  int badIconDestroys = 0;

 private:
  Hwnd Open(WindowHandler* handler);

  FakeGdi& gdi_;
  mutable std::mutex mutex_;
  std::deque<std::pair<bool, Message>> queue_;  // (fetch fails, message)
  std::map<Hwnd, WindowHandler*> windows_;
  std::map<std::wstring, uint32_t> registered_;
  std::map<Hwnd, intptr_t> ended_;
  uintptr_t nextWindow_ = 0x10000;
  uintptr_t nextIcon_ = 0x20000;
};

}  // namespace velmora::fakes
