// A message queue and window table in memory. Dialog creation delivers WM_INITDIALOG to the
// handler at once, as CreateDialogParam does; dispatch calls the target window's handler.
// FetchMessage on an empty queue answers WM_QUIT (exit code kStarvedExitCode) so that a test
// that forgot to post its quit fails instead of hanging.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace velmora::fakes {

class FakeWindowSystem : public WindowSystem {
 public:
  static constexpr int kStarvedExitCode = -777;

  struct Sent {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };
  struct Timer {
    Hwnd hwnd;
    uintptr_t id;
    uint32_t periodMs;
  };

  void InitCommonControls(uint32_t classes) override { commonControls_ = classes; }
  Hwnd CreateModelessDialog(int templateId, Hwnd parent, WindowHandler* handler) override;
  // Delivers WM_INITDIALOG, runs the modal script (the user's actions while the dialog is
  // shown), then WM_DESTROY. Answers the EndDialog result, kNeverEnded when the script left the
  // dialog open, -1 when creation is set to fail.
  intptr_t RunModalDialog(int templateId, Hwnd parent, WindowHandler* handler) override;
  Hwnd ActiveWindow() override { return nullptr; }
  bool DestroyWindow(Hwnd hwnd) override;
  void CenterWindow(Hwnd hwnd) override { centered_.push_back(hwnd); }
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

  static constexpr intptr_t kNeverEnded = -2;

  // Icons drawn through the fake GDI are destroyed through here, as on Windows.
  void set_gdi(class FakeGdi* gdi) { gdi_ = gdi; }
  int bad_icon_destroys() const { return badIconDestroys_; }

  // Scripting.
  void FailDialogCreation() { failCreate_ = true; }
  void set_modal_script(std::function<void(Hwnd dialog)> script) { modalScript_ = std::move(script); }
  // EndDialog, as the dialog host reports it.
  void MarkEnded(Hwnd dialog, intptr_t result) { ended_[dialog] = result; }
  int modal_runs() const { return modalRuns_; }
  // Makes IsDialogMessageFor claim messages of this value.
  void ClaimDialogMessage(uint32_t message) { claimed_.push_back(message); }
  // A GetMessage failure (-1) before the next message.
  void QueueFetchFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Queued{true, {}});
  }

  // Records.
  int common_controls() const { return commonControls_; }
  std::vector<int> created_templates() const { return createdTemplates_; }
  std::vector<Message> dispatched() const;
  // Messages waiting in the queue, oldest first.
  std::vector<Message> queued() const;
  std::vector<Message> dialog_message_calls() const { return dialogCalls_; }
  const std::vector<Sent>& sent() const { return sent_; }
  const std::vector<Timer>& timers() const { return timers_; }
  const std::vector<Hwnd>& centered() const { return centered_; }
  int live_icons() const { return liveIcons_; }
  struct IconLoad {
    int id;
    int cx;
  };
  const std::vector<IconLoad>& icon_loads() const { return iconLoads_; }

 private:
  struct Queued {
    bool failure;
    Message message;
  };

  mutable std::mutex mutex_;
  std::deque<Queued> queue_;
  std::map<Hwnd, WindowHandler*> windows_;
  std::map<std::wstring, uint32_t> registered_;
  std::vector<int> createdTemplates_;
  std::vector<Message> dispatched_;
  std::vector<Message> dialogCalls_;
  std::vector<Sent> sent_;
  std::vector<Timer> timers_;
  std::vector<Hwnd> centered_;
  std::vector<uint32_t> claimed_;
  std::vector<IconLoad> iconLoads_;
  uintptr_t nextWindow_ = 0x10000;
  uintptr_t nextIcon_ = 0x20000;
  uint32_t nextRegistered_ = 0xC100;
  int commonControls_ = -1;
  int liveIcons_ = 0;
  bool failCreate_ = false;
  class FakeGdi* gdi_ = nullptr;
  int badIconDestroys_ = 0;
  std::function<void(Hwnd)> modalScript_;
  std::map<Hwnd, intptr_t> ended_;
  int modalRuns_ = 0;
};

}  // namespace velmora::fakes
