#include "app/message_loop.h"

#include <algorithm>

#include "platform/platform.h"

namespace velmora {
namespace {

constexpr uint32_t kFetchRetryMs = 10;

template <typename T>
void RemoveFrom(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

void CMessageLoop::AddMessageFilter(CMessageFilter* filter) { filters_.push_back(filter); }
void CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { RemoveFrom(filters_, filter); }
void CMessageLoop::AddIdleHandler(CIdleHandler* handler) { idleHandlers_.push_back(handler); }
void CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) {
  RemoveFrom(idleHandlers_, handler);
}

bool CMessageLoop::RearmsIdleProcessing(const Message& message) {
  switch (message.message) {
    case msg::kMouseMove:
    case msg::kNcMouseMove:
    case msg::kPaint:
    case msg::kSystemTimer:
      return false;
    default:
      return true;
  }
}

bool CMessageLoop::OnIdle() {
  bool more = false;
  // A handler may remove itself while being called: iterate over a copy.
  const std::vector<CIdleHandler*> handlers = idleHandlers_;
  for (CIdleHandler* handler : handlers) more = handler->OnIdle() || more;
  return more;
}

bool CMessageLoop::PreTranslateMessage(Message* message) {
  const std::vector<CMessageFilter*> filters = filters_;
  for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
    if ((*it)->PreTranslateMessage(message)) return true;
  }
  return false;
}

int CMessageLoop::Run() {
  WindowSystem& windows = Windows();
  bool doIdle = true;
  Message message;
  for (;;) {
    while (doIdle && !windows.PeekWaiting(&message)) {
      if (!OnIdle()) doIdle = false;
    }
    const int got = windows.FetchMessage(&message);
    if (got == -1) {
      // The loop goes on after a failed fetch, but must not spin if the failure repeats.
      Kern().Sleep(kFetchRetryMs);
      continue;
    }
    if (got == 0) break;
    if (!PreTranslateMessage(&message)) windows.TranslateAndDispatch(message);
    if (RearmsIdleProcessing(message)) doIdle = true;
  }
  return static_cast<int>(message.wParam);
}

void CAppModule::Init() {
  loop_ = nullptr;
  owner_ = std::thread::id();
}

void CAppModule::Term() { Init(); }

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
  if (loop_ != nullptr) return false;
  loop_ = loop;
  owner_ = std::this_thread::get_id();
  return true;
}

void CAppModule::RemoveMessageLoop() {
  if (owner_ == std::this_thread::get_id()) Init();
}

CMessageLoop* CAppModule::GetMessageLoop() const {
  return owner_ == std::this_thread::get_id() ? loop_ : nullptr;
}

CAppModule& AppModule() {
  static CAppModule module;
  return module;
}

}  // namespace velmora
