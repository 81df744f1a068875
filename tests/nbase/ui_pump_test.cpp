// The window-message pump with real windows on the test thread.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "nbase/message_loop.h"
#include "nbase/win_ui_message_pump.h"
#include "test_tasks.h"

using nbase_test::EventLog;
using nbase_test::Tracked;
using ::testing::ElementsAre;

namespace {

constexpr UINT kPlainMessage = WM_APP + 1;
constexpr UINT kFilteredMessage = WM_APP + 2;
constexpr UINT kModalMessage = WM_APP + 3;

// A plain top-level test window whose procedure logs the app messages it gets.
class TestWindow {
 public:
  explicit TestWindow(EventLog* log) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TestWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NbaseUiPumpTestWindow";
    RegisterClassExW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    log_ = log;
  }
  ~TestWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }
  std::function<void(UINT)> on_message;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message >= WM_APP) {
      self->log_->Add("dispatched:" + std::to_string(message - WM_APP));
      if (self->on_message) self->on_message(message);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  HWND hwnd_ = nullptr;
  EventLog* log_ = nullptr;
};

class LoggingUIObserver : public nbase::UIObserver {
 public:
  explicit LoggingUIObserver(EventLog* log) : log_(log) {}
  void BeforeMessage(const MSG& msg) override {
    if (msg.message >= WM_APP) log_->Add("before:" + std::to_string(msg.message - WM_APP));
  }
  void AfterMessage(const MSG& msg) override {
    if (msg.message >= WM_APP) log_->Add("after:" + std::to_string(msg.message - WM_APP));
  }

 private:
  EventLog* log_;
};

HHOOK g_filter_hook = nullptr;
int g_filter_codes_seen = 0;

LRESULT CALLBACK ConsumeFilteredMessage(int code, WPARAM wparam, LPARAM lparam) {
  auto* msg = reinterpret_cast<MSG*>(lparam);
  if (code == nbase::WinUIMessagePump::kMessageFilterCode && msg->message == kFilteredMessage) {
    ++g_filter_codes_seen;
    return 1;
  }
  return CallNextHookEx(g_filter_hook, code, wparam, lparam);
}

TEST(WinUIMessagePumpTest, RunsTasksAndMessagesAndHonoursTheFilterHook) {
  EventLog log;
  nbase::UIMessageLoop loop;
  TestWindow window(&log);
  LoggingUIObserver observer(&log);
  loop.ui_pump()->AddObserver(&observer);
  g_filter_hook = SetWindowsHookExW(WH_MSGFILTER, &ConsumeFilteredMessage, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_filter_hook, nullptr);

  PostMessageW(window.hwnd(), kFilteredMessage, 0, 0);
  PostMessageW(window.hwnd(), kPlainMessage, 0, 0);
  loop.PostTask(Tracked(&log, "task"));
  loop.PostDelayedTask([&] { loop.QuitWhenIdle(); }, 30 * 1000);
  loop.Run();

  UnhookWindowsHookEx(g_filter_hook);
  loop.ui_pump()->RemoveObserver(&observer);
  EXPECT_EQ(g_filter_codes_seen, 1);
  // The consumed message is neither dispatched nor shown to observers.
  EXPECT_THAT(log.With("dispatched:"), ElementsAre("1"));
  EXPECT_THAT(log.With("before:"), ElementsAre("1"));
  EXPECT_THAT(log.With("after:"), ElementsAre("1"));
  EXPECT_THAT(log.With("ran:"), ElementsAre("task"));
}

class StoppingDispatcher : public nbase::MessageDispatcher {
 public:
  explicit StoppingDispatcher(EventLog* log) : log_(log) {}
  bool Dispatch(const MSG& msg) override {
    if (msg.message < WM_APP) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      return true;
    }
    log_->Add("dispatcher:" + std::to_string(msg.message - WM_APP));
    return false;
  }

 private:
  EventLog* log_;
};

TEST(WinUIMessagePumpTest, DispatcherReturningFalseEndsTheRunAfterThatMessage) {
  EventLog log;
  nbase::UIMessageLoop loop;
  TestWindow window(&log);
  LoggingUIObserver observer(&log);
  StoppingDispatcher dispatcher(&log);
  loop.ui_pump()->AddObserver(&observer);
  PostMessageW(window.hwnd(), kPlainMessage, 0, 0);
  PostMessageW(window.hwnd(), kFilteredMessage, 0, 0);
  loop.Run(&dispatcher);
  loop.ui_pump()->RemoveObserver(&observer);

  EXPECT_THAT(log.Events(), ElementsAre("before:1", "dispatcher:1", "after:1"));
  MSG left;
  EXPECT_TRUE(PeekMessageW(&left, window.hwnd(), kFilteredMessage, kFilteredMessage, PM_REMOVE));
}

TEST(WinUIMessagePumpTest, QuitMessageEndsTheRunAndIsPostedAgain) {
  nbase::UIMessageLoop loop;
  loop.PostTask([] { PostQuitMessage(7); });
  loop.Run();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(WinUIMessagePumpTest, ForeignModalLoopStillServicesTasksAndTimers) {
  EventLog log;
  nbase::UIMessageLoop loop;
  TestWindow window(&log);
  bool modal_done = false;
  // A window message handler (not a task: tasks may run) that spins a plain
  // message loop, as a modal dialog would.
  window.on_message = [&](UINT message) {
    if (message != kModalMessage) return;
    loop.PostTask(Tracked(&log, "posted-inside-modal"));
    loop.PostDelayedTask(
        [&] {
          log.Add("ran:delayed-inside-modal");
          modal_done = true;
          PostMessageW(window.hwnd(), WM_NULL, 0, 0);
        },
        20 * 1000);
    MSG msg;
    while (!modal_done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  };
  loop.PostTask([&] { PostMessageW(window.hwnd(), kModalMessage, 0, 0); });
  loop.PostDelayedTask([&] { loop.QuitWhenIdle(); }, 60 * 1000);
  loop.Run();
  EXPECT_THAT(log.With("ran:"), ElementsAre("posted-inside-modal", "delayed-inside-modal"));
}

TEST(WinUIMessagePumpTest, WakesForPostsFromOtherThreads) {
  EventLog log;
  nbase::UIMessageLoop loop;
  std::thread poster([&] {
    Sleep(30);
    loop.PostTask(Tracked(&log, "from-other-thread"));
    loop.PostTask([&] { loop.QuitWhenIdle(); });
  });
  loop.Run();
  poster.join();
  EXPECT_THAT(log.With("ran:"), ElementsAre("from-other-thread"));
}

}  // namespace
