// The hidden main window's message table and initialisation, and the message loop it runs in,
// driven through the fake window system.
#include <gtest/gtest.h>

#include "app/main_dlg.h"
#include "app/message_loop.h"
#include "fakes/fake_platform.h"
#include "state/globals.h"

namespace velmora {
namespace {

using fakes::FakePlatform;

class MainDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppModule().AddMessageLoop(&loop);
    hwnd = dialog.Create();
    ASSERT_NE(nullptr, hwnd);
  }
  void TearDown() override {
    fake.windows.DestroyWindow(hwnd);
    AppModule().RemoveMessageLoop();
  }

  bool Handle(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t* result) {
    return dialog.ProcessWindowMessage(hwnd, message, wParam, lParam, *result);
  }

  FakePlatform fake;
  CMessageLoop loop;
  CMainDlg dialog;
  Hwnd hwnd = nullptr;
};

TEST_F(MainDlgTest, InitialisationSetsUpWindowStateAndTimer) {
  EXPECT_EQ(hwnd, g_hMainWnd.load());
  EXPECT_EQ(KindNone, Load(g_nElevationKind));
  EXPECT_EQ(0, Load(g_bReasonDlgOpen));
  EXPECT_EQ(std::vector<Hwnd>{hwnd}, fake.windows.centered());

  // Icon 128 at the large and small system sizes, both set on the window; the large one is the
  // default notification icon.
  ASSERT_EQ(2u, fake.windows.icon_loads().size());
  EXPECT_EQ(IDI_VELMORA, fake.windows.icon_loads()[0].id);
  EXPECT_EQ(32, fake.windows.icon_loads()[0].cx);
  EXPECT_EQ(16, fake.windows.icon_loads()[1].cx);
  ASSERT_EQ(2u, fake.windows.sent().size());
  EXPECT_EQ(msg::kSetIcon, fake.windows.sent()[0].message);
  EXPECT_EQ(kIconBig, fake.windows.sent()[0].wParam);
  EXPECT_EQ(reinterpret_cast<intptr_t>(dialog.defaultIcon()), fake.windows.sent()[0].lParam);
  EXPECT_EQ(kIconSmall, fake.windows.sent()[1].wParam);

  ASSERT_EQ(1u, fake.windows.timers().size());
  EXPECT_EQ(hwnd, fake.windows.timers()[0].hwnd);
  EXPECT_EQ(0u, fake.windows.timers()[0].id);
  EXPECT_EQ(1000u, fake.windows.timers()[0].periodMs);
  EXPECT_EQ(dialog.taskbarCreatedMessage(), fake.windows.RegisterMessageName(L"TaskbarCreated"));
}

TEST_F(MainDlgTest, MessageTableHandlesItsMessagesAndPassesTheRestOn) {
  const uint32_t handled[] = {msg::kShowBalloon, msg::kTrayIcon,    msg::kIgnored,
                              msg::kTimer,       msg::kRestoreIcon, msg::kEndSession,
                              dialog.taskbarCreatedMessage()};
  for (uint32_t message : handled) {
    intptr_t result = 99;
    EXPECT_TRUE(Handle(message, 1, 2, &result)) << std::hex << message;
    EXPECT_EQ(0, result) << std::hex << message;
  }
  for (uint32_t message : {msg::kCommand, msg::kPaint, msg::kUser + 2, msg::kUser + 6, 0u}) {
    intptr_t result = 0;
    EXPECT_FALSE(Handle(message, 0, 0, &result)) << std::hex << message;
  }
}

TEST_F(MainDlgTest, LoopRunsMessagesThroughTheDialogFilterAndStopsAtQuit) {
  fake.windows.ClaimDialogMessage(msg::kCommand);
  fake.windows.Post(hwnd, msg::kCommand, 1, 0);
  fake.windows.Post(hwnd, msg::kIgnored, 0, 0);
  fake.windows.PostQuit(42);
  fake.windows.Post(hwnd, msg::kTimer, 0, 0);  // after WM_QUIT: never delivered
  Store(g_nElevationKind, KindPeriod);

  EXPECT_EQ(42, loop.Run());
  // The dialog's filter saw both; it claimed the first, the second went to its handler.
  ASSERT_EQ(2u, fake.windows.dialog_message_calls().size());
  const auto dispatched = fake.windows.dispatched();
  ASSERT_EQ(1u, dispatched.size());
  EXPECT_EQ(msg::kIgnored, dispatched[0].message);
  // The ignored message changes nothing.
  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
  EXPECT_TRUE(fake.shell.boxes().empty());
}

TEST_F(MainDlgTest, DestroyUnregistersTheFilter) {
  fake.windows.DestroyWindow(hwnd);
  fake.windows.Post(nullptr, msg::kCommand, 0, 0);
  fake.windows.PostQuit(0);
  loop.Run();
  EXPECT_TRUE(fake.windows.dialog_message_calls().empty());
}

// Posts one message from its first idle call, as work arriving while the loop is idle would.
class PostingIdle : public CIdleHandler {
 public:
  explicit PostingIdle(uint32_t message) : message_(message) {}
  bool OnIdle() override {
    if (++calls == 1) Windows().Post(nullptr, message_, 0, 0);
    return false;
  }
  int calls = 0;

 private:
  uint32_t message_;
};

TEST(MessageLoopTest, IdleProcessingIsReArmedOnlyByMessagesThatDoNotFlood) {
  // Mouse moves, paints and system timer ticks arrive constantly: they must not wake idle work.
  for (uint32_t message : {msg::kMouseMove, msg::kNcMouseMove, msg::kPaint, msg::kSystemTimer}) {
    FakePlatform fake;
    CMessageLoop loop;
    PostingIdle idle(message);
    loop.AddIdleHandler(&idle);
    EXPECT_EQ(fakes::FakeWindowSystem::kStarvedExitCode, loop.Run());
    EXPECT_EQ(1, idle.calls) << std::hex << message;
  }
  // Anything else does.
  for (uint32_t message : {msg::kTimer, msg::kUser + 9, msg::kLButtonUp}) {
    FakePlatform fake;
    CMessageLoop loop;
    PostingIdle idle(message);
    loop.AddIdleHandler(&idle);
    EXPECT_EQ(fakes::FakeWindowSystem::kStarvedExitCode, loop.Run());
    EXPECT_EQ(2, idle.calls) << std::hex << message;
  }
}

TEST(MessageLoopTest, WaitingMessagesAreServedBeforeIdleWork) {
  FakePlatform fake;
  CMessageLoop loop;
  PostingIdle idle(msg::kUser + 9);
  loop.AddIdleHandler(&idle);
  fake.windows.Post(nullptr, msg::kUser + 1, 0, 0);
  fake.windows.PostQuit(5);
  EXPECT_EQ(5, loop.Run());
  EXPECT_EQ(0, idle.calls);
}

TEST(MessageLoopTest, FetchFailureIsSkippedWithoutEndingTheLoop) {
  FakePlatform fake;
  CMessageLoop loop;
  fake.windows.QueueFetchFailure();
  fake.windows.QueueFetchFailure();
  fake.windows.PostQuit(9);
  EXPECT_EQ(9, loop.Run());
}

}  // namespace
}  // namespace velmora
