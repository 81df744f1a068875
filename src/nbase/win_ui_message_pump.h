// The pump of UI loops: services the thread's window messages between tasks
// and wakes itself with a message posted to a message-only window; delayed
// tasks are timed by one window timer.
//
// Threads: made, run and destroyed on the loop's thread; WakeUp from any
// thread. Observers and the dispatcher are not owned.
#pragma once

#include <windows.h>

#include <cstdint>

#include "nbase/observer_list.h"
#include "nbase/win_message_pump.h"

namespace nbase {

// Takes over the dispatch of every window message of a UI loop run with it.
class MessageDispatcher {
 public:
  virtual ~MessageDispatcher() = default;
  // Dispatches `msg` (translation included, if wanted); false asks the run to
  // end after this message.
  virtual bool Dispatch(const MSG& msg) = 0;
};

// Told around every window message the pump translates and dispatches.
class UIObserver {
 public:
  virtual void BeforeMessage(const MSG& msg) = 0;
  virtual void AfterMessage(const MSG& msg) = 0;

 protected:
  ~UIObserver() = default;
};

// The window timer's period for a delay in milliseconds: never below 10 ms,
// so an overdue task cannot make the timer fire in a tight loop.
UINT UiTimerElapseMs(int64_t delay_ms);

class WinUIMessagePump : public WinMessagePump {
 public:
  // The wake-up message, posted to the message-only window with the pump's
  // address in wParam.
  static constexpr UINT kWakeUpMessage = WM_USER + 1;
  // The code passed to message-filter hooks for every message the pump sees.
  static constexpr int kMessageFilterCode = 0x5001;

  WinUIMessagePump();
  ~WinUIMessagePump() override;
  WinUIMessagePump(const WinUIMessagePump&) = delete;
  WinUIMessagePump& operator=(const WinUIMessagePump&) = delete;

  void WakeUp() override;
  void SetWakeUpTime(const int64_t& run_time) override;
  // Like Run, but every message goes to `dispatcher`.
  void RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher);

  void AddObserver(UIObserver* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(UIObserver* observer) { observers_.RemoveObserver(observer); }

  HWND message_window() const { return message_window_; }

  virtual void BeforeMessage(const MSG& msg);
  virtual void AfterMessage(const MSG& msg);

 protected:
  void PumpLoop() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void OnTimer();
  void OnWakeUpMessage();
  bool ProcessWakeUpMessage();
  bool ProcessMessage(const MSG& msg);
  void WaitForWork();
  UINT_PTR timer_id() const { return reinterpret_cast<UINT_PTR>(this); }

  HWND message_window_ = nullptr;
  ObserverList<UIObserver> observers_;
};

}  // namespace nbase
