#include "fakes/fake_window_system.h"

#include <algorithm>

#include "fakes/fake_gdi.h"

namespace velmora::fakes {

Hwnd FakeWindowSystem::CreateModelessDialog(int templateId, Hwnd, WindowHandler* handler) {
  createdTemplates_.push_back(templateId);
  if (failCreate_) return nullptr;
  Hwnd hwnd = reinterpret_cast<Hwnd>(nextWindow_);
  nextWindow_ += 0x10;
  windows_[hwnd] = handler;
  intptr_t result = 0;
  handler->ProcessWindowMessage(hwnd, msg::kInitDialog, 0, 0, result);
  return hwnd;
}

intptr_t FakeWindowSystem::RunModalDialog(int, Hwnd, WindowHandler* handler) {
  ++modalRuns_;
  if (failCreate_) return -1;
  Hwnd hwnd = reinterpret_cast<Hwnd>(nextWindow_);
  nextWindow_ += 0x10;
  windows_[hwnd] = handler;
  intptr_t result = 0;
  handler->ProcessWindowMessage(hwnd, msg::kInitDialog, 0, 0, result);
  if (modalScript_ && ended_.count(hwnd) == 0) modalScript_(hwnd);
  const auto ended = ended_.find(hwnd);
  const intptr_t answer = ended == ended_.end() ? kNeverEnded : ended->second;
  DestroyWindow(hwnd);
  return answer;
}

bool FakeWindowSystem::DestroyWindow(Hwnd hwnd) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return false;
  intptr_t result = 0;
  it->second->ProcessWindowMessage(hwnd, msg::kDestroy, 0, 0, result);
  windows_.erase(hwnd);
  return true;
}

bool FakeWindowSystem::PeekWaiting(Message* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return false;
  *message = queue_.front().message;
  return true;
}

int FakeWindowSystem::FetchMessage(Message* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) {
    *message = Message{nullptr, msg::kQuit, static_cast<uintptr_t>(kStarvedExitCode), 0};
    return 0;
  }
  Queued next = queue_.front();
  queue_.pop_front();
  if (next.failure) return -1;
  *message = next.message;
  return next.message.message == msg::kQuit ? 0 : 1;
}

void FakeWindowSystem::TranslateAndDispatch(const Message& message) {
  WindowHandler* handler = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dispatched_.push_back(message);
    auto it = windows_.find(message.hwnd);
    if (it != windows_.end()) handler = it->second;
  }
  intptr_t result = 0;
  if (handler != nullptr) {
    handler->ProcessWindowMessage(message.hwnd, message.message, message.wParam, message.lParam,
                                  result);
  }
}

bool FakeWindowSystem::IsDialogMessageFor(Hwnd, Message* message) {
  dialogCalls_.push_back(*message);
  return std::find(claimed_.begin(), claimed_.end(), message->message) != claimed_.end();
}

bool FakeWindowSystem::Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hwnd != nullptr && windows_.count(hwnd) == 0) return false;
  queue_.push_back(Queued{false, Message{hwnd, message, wParam, lParam}});
  return true;
}

intptr_t FakeWindowSystem::Send(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  sent_.push_back(Sent{message, wParam, lParam});
  auto it = windows_.find(hwnd);
  intptr_t result = 0;
  if (it != windows_.end()) it->second->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
  return result;
}

void FakeWindowSystem::PostQuit(int exitCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(Queued{false, Message{nullptr, msg::kQuit, static_cast<uintptr_t>(exitCode), 0}});
}

bool FakeWindowSystem::StartTimer(Hwnd hwnd, uintptr_t id, uint32_t periodMs) {
  timers_.push_back(Timer{hwnd, id, periodMs});
  return true;
}

uint32_t FakeWindowSystem::RegisterMessageName(const std::wstring& name) {
  auto it = registered_.find(name);
  if (it != registered_.end()) return it->second;
  return registered_[name] = nextRegistered_++;
}

int FakeWindowSystem::SystemMetric(int index) {
  switch (index) {
    case kSmCxIcon:
    case kSmCyIcon:
      return 32;
    case kSmCxSmIcon:
    case kSmCySmIcon:
      return 16;
    default:
      return 0;
  }
}

IconHandle FakeWindowSystem::LoadIconResource(int id, int cx, int) {
  iconLoads_.push_back(IconLoad{id, cx});
  ++liveIcons_;
  IconHandle icon = reinterpret_cast<IconHandle>(nextIcon_);
  nextIcon_ += 0x10;
  return icon;
}

void FakeWindowSystem::DestroyIcon(IconHandle icon) {
  if (icon == nullptr) return;
  if (gdi_ != nullptr && gdi_->DestroyCreatedIcon(icon)) return;
  const auto value = reinterpret_cast<uintptr_t>(icon);
  if (value >= 0x20000 && value < nextIcon_ && liveIcons_ > 0) {
    --liveIcons_;
  } else {
    ++badIconDestroys_;
  }
}

std::vector<Message> FakeWindowSystem::dispatched() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dispatched_;
}

std::vector<Message> FakeWindowSystem::queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Message> messages;
  for (const Queued& q : queue_) {
    if (!q.failure) messages.push_back(q.message);
  }
  return messages;
}

}  // namespace velmora::fakes
