#include "fakes/fake_window_system.h"

#include "fakes/fake_gdi.h"

namespace velmora::fakes {

Hwnd FakeWindowSystem::Open(WindowHandler* handler) {
  if (failCreate) return nullptr;
  Hwnd hwnd = reinterpret_cast<Hwnd>(nextWindow_ += 0x10);
  windows_[hwnd] = handler;
  intptr_t result = 0;
  handler->ProcessWindowMessage(hwnd, msg::kInitDialog, 0, 0, result);
  return hwnd;
}

Hwnd FakeWindowSystem::CreateModelessDialog(int, Hwnd, WindowHandler* handler) {
  return Open(handler);
}

intptr_t FakeWindowSystem::RunModalDialog(int, Hwnd, WindowHandler* handler) {
  Hwnd hwnd = Open(handler);
  if (hwnd == nullptr) return -1;
  if (modalScript && ended_.count(hwnd) == 0) modalScript(hwnd);
  DestroyWindow(hwnd);
  return ended_.count(hwnd) ? ended_[hwnd] : kNeverEnded;
}

bool FakeWindowSystem::DestroyWindow(Hwnd hwnd) {
  const auto it = windows_.find(hwnd);
  if (it == windows_.end()) return false;
  intptr_t result = 0;
  it->second->ProcessWindowMessage(hwnd, msg::kDestroy, 0, 0, result);
  windows_.erase(hwnd);
  return true;
}

bool FakeWindowSystem::PeekWaiting(Message* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return false;
  *message = queue_.front().second;
  return true;
}

int FakeWindowSystem::FetchMessage(Message* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) {
    *message = Message{nullptr, msg::kQuit, static_cast<uintptr_t>(kStarvedExitCode), 0};
    return 0;
  }
  const auto next = queue_.front();
  queue_.pop_front();
  if (next.first) return -1;
  *message = next.second;
  return next.second.message == msg::kQuit ? 0 : 1;
}

void FakeWindowSystem::TranslateAndDispatch(const Message& message) {
  Send(message.hwnd, message.message, message.wParam, message.lParam);
}

bool FakeWindowSystem::Post(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hwnd != nullptr && windows_.count(hwnd) == 0) return false;
  queue_.push_back({false, Message{hwnd, message, wParam, lParam}});
  return true;
}

intptr_t FakeWindowSystem::Send(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const auto it = windows_.find(hwnd);
  intptr_t result = 0;
  if (it != windows_.end()) it->second->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
  return result;
}

void FakeWindowSystem::QueueFetchFailure() {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back({true, Message{}});
}

std::vector<Message> FakeWindowSystem::Queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Message> messages;
  for (const auto& entry : queue_) {
    if (!entry.first) messages.push_back(entry.second);
  }
  return messages;
}

uint32_t FakeWindowSystem::RegisterMessageName(const std::wstring& name) {
  const auto it = registered_.find(name);
  if (it != registered_.end()) return it->second;
  return registered_[name] = 0xC100 + static_cast<uint32_t>(registered_.size());
}

IconHandle FakeWindowSystem::LoadIconResource(int, int, int) {
  ++liveIcons;
  return reinterpret_cast<IconHandle>(nextIcon_ += 0x10);
}

void FakeWindowSystem::DestroyIcon(IconHandle icon) {
  if (icon == nullptr || gdi_.DestroyCreatedIcon(icon)) return;
  const auto value = reinterpret_cast<uintptr_t>(icon);
  if (value > 0x20000 && value <= nextIcon_ && liveIcons > 0) {
    --liveIcons;
  } else {
    ++badIconDestroys;
  }
}

}  // namespace velmora::fakes
