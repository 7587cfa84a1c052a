// The main thread's message loop with message filters and idle handlers, and the application
// module that knows the loop of the thread. Built on the WindowSystem message primitives so
// that its rules run in host tests.
#pragma once

#include <thread>
#include <vector>

#include "platform/messages.h"

namespace velmora {

class CMessageFilter {
 public:
  virtual ~CMessageFilter() = default;
  // True when the filter consumed the message.
  virtual bool PreTranslateMessage(Message* message) = 0;
};

class CIdleHandler {
 public:
  virtual ~CIdleHandler() = default;
  // True when the handler has more idle work to do.
  virtual bool OnIdle() = 0;
};

class CMessageLoop {
 public:
  void AddMessageFilter(CMessageFilter* filter);
  void RemoveMessageFilter(CMessageFilter* filter);
  void AddIdleHandler(CIdleHandler* handler);
  void RemoveIdleHandler(CIdleHandler* handler);

  // Runs until WM_QUIT and answers its wParam.
  int Run();

  // False for the messages that arrive constantly (mouse moves, paints, the caret's timer):
  // letting them re-arm idle processing would turn idle handling into a busy loop.
  static bool RearmsIdleProcessing(const Message& message);

 private:
  bool OnIdle();
  bool PreTranslateMessage(Message* message);

  std::vector<CMessageFilter*> filters_;
  std::vector<CIdleHandler*> idleHandlers_;
};

// Per-process framework object. Only the main thread registers its loop; any other thread that
// asks gets none, so a window created there never hooks into the main thread's loop.
class CAppModule {
 public:
  void Init();
  void Term();
  bool AddMessageLoop(CMessageLoop* loop);
  void RemoveMessageLoop();
  CMessageLoop* GetMessageLoop() const;

 private:
  CMessageLoop* loop_ = nullptr;
  std::thread::id owner_;
};

CAppModule& AppModule();

}  // namespace velmora
