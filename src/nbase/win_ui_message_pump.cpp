#include "nbase/win_ui_message_pump.h"

namespace nbase {

namespace {

const wchar_t kWindowClass[] = L"nbase_MessagePumpWindow";

// The module that holds the window procedure (the DLL, not the game's
// executable), so the class belongs to the code that serves it.
HINSTANCE PumpModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&UiTimerElapseMs), &module);
  return module;
}

// The last mouse message, spelled out: the SDK headers' value depends on the
// target Windows version.
constexpr UINT kMouseLast = 0x020D;

}  // namespace

UINT UiTimerElapseMs(int64_t delay_ms) {
  if (delay_ms < 10) return 10;
  if (delay_ms > static_cast<int64_t>(0xFFFFFFFE)) return 0xFFFFFFFE;
  return static_cast<UINT>(delay_ms);
}

WinUIMessagePump::WinUIMessagePump() {
  HINSTANCE instance = PumpModule();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &WinUIMessagePump::WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kWindowClass;
  // A second UI pump in the process finds the class registered and goes on.
  RegisterClassExW(&wc);
  message_window_ =
      CreateWindowExW(0, kWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (message_window_) SetWindowLongPtrW(message_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WinUIMessagePump::~WinUIMessagePump() {
  if (message_window_) {
    // Detach first: a wake-up or timer message still queued for the window
    // must not reach a destroyed pump.
    SetWindowLongPtrW(message_window_, GWLP_USERDATA, 0);
    if (GetWindowThreadProcessId(message_window_, nullptr) == GetCurrentThreadId()) {
      KillTimer(message_window_, timer_id());
      DestroyWindow(message_window_);
    } else {
      // The last share of the pump went on a posting thread, which cannot
      // destroy another thread's window; its own thread does on WM_CLOSE.
      PostMessageW(message_window_, WM_CLOSE, 0, 0);
    }
    message_window_ = nullptr;
  }
  UnregisterClassW(kWindowClass, PumpModule());
}

void WinUIMessagePump::WakeUp() {
  if (have_work_.exchange(1) == 1) return;
  PostMessageW(message_window_, kWakeUpMessage, reinterpret_cast<WPARAM>(this), 0);
}

void WinUIMessagePump::SetWakeUpTime(const int64_t& run_time) {
  delayed_run_time_ = run_time;
  SetTimer(message_window_, timer_id(), UiTimerElapseMs(CurrentDelay()), nullptr);
}

void WinUIMessagePump::RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher) {
  RunWithState(delegate, dispatcher);
}

LRESULT CALLBACK WinUIMessagePump::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* pump = reinterpret_cast<WinUIMessagePump*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  // Both messages carry the pump's address; one that does not is not ours.
  if (pump && wparam == reinterpret_cast<WPARAM>(pump)) {
    if (message == WM_TIMER) {
      pump->OnTimer();
    } else if (message == kWakeUpMessage) {
      pump->OnWakeUpMessage();
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Reached when someone else's message loop (a modal dialog's, say) dispatches
// our timer.
void WinUIMessagePump::OnTimer() {
  KillTimer(message_window_, timer_id());
  if (!run_state_) return;
  run_state_->delegate->ProcessDelayedWork(&delayed_run_time_);
  if (delayed_run_time_ != 0) SetWakeUpTime(delayed_run_time_);
}

// Reached when someone else's message loop dispatches our wake-up.
void WinUIMessagePump::OnWakeUpMessage() {
  if (!run_state_) {
    have_work_.store(0);
    return;
  }
  ProcessWakeUpMessage();
  if (run_state_->delegate->ProcessWork()) WakeUp();
}

bool WinUIMessagePump::ProcessWakeUpMessage() {
  // Take one other message in the wake-up's place, so a stream of tasks
  // cannot starve the window messages queued behind it.
  MSG msg;
  const BOOL have_message = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
  have_work_.store(0);
  if (!have_message) return false;
  WakeUp();
  return ProcessMessage(msg);
}

bool WinUIMessagePump::ProcessMessage(const MSG& msg) {
  if (msg.message == WM_QUIT) {
    run_state_->should_quit = true;
    // Put it back for the enclosing message loop.
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (msg.message == kWakeUpMessage && msg.hwnd == message_window_) return ProcessWakeUpMessage();
  MSG copy = msg;
  if (CallMsgFilterW(&copy, kMessageFilterCode)) return true;
  BeforeMessage(msg);
  if (!run_state_->dispatcher) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  } else if (!run_state_->dispatcher->Dispatch(msg)) {
    run_state_->should_quit = true;
  }
  AfterMessage(msg);
  return true;
}

void WinUIMessagePump::BeforeMessage(const MSG& msg) {
  observers_.Notify([&msg](UIObserver* o) { o->BeforeMessage(msg); });
}

void WinUIMessagePump::AfterMessage(const MSG& msg) {
  observers_.Notify([&msg](UIObserver* o) { o->AfterMessage(msg); });
}

void WinUIMessagePump::PumpLoop() {
  Delegate* const delegate = run_state_->delegate;
  for (;;) {
    bool more = (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) more = ProcessMessage(msg);
    if (ShouldQuit()) break;

    more = delegate->ProcessWork() || more;
    if (ShouldQuit()) break;

    const bool delayed = delegate->ProcessDelayedWork(&delayed_run_time_);
    if ((more || delayed) && delayed_run_time_ == 0) KillTimer(message_window_, timer_id());
    if (ShouldQuit()) break;
    if (more || delayed) continue;

    const bool idle_work = delegate->ProcessIdle();
    // The loop's quit-when-idle arrives here, with no work done: leaving
    // before the wait keeps the run from sleeping until the next message.
    if (ShouldQuit()) break;
    if (idle_work) continue;

    WaitForWork();
  }
}

void WinUIMessagePump::WaitForWork() {
  const DWORD result =
      MsgWaitForMultipleObjectsEx(0, nullptr, ClampWaitMs(CurrentDelay()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result != WAIT_OBJECT_0) return;
  // Mouse input that another window's thread owns stays flagged in our queue
  // status and would make the wait return at once forever: wait for a real
  // message instead.
  MSG msg;
  if ((HIWORD(GetQueueStatus(QS_MOUSE)) & QS_MOUSE) != 0 &&
      !PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, kMouseLast, PM_NOREMOVE)) {
    WaitMessage();
  }
}

}  // namespace nbase
