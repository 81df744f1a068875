#include "sdk/host_window.h"

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include "sdk/helper_call.h"

namespace lumo {

namespace {

std::atomic<ReparentCall> g_reparentCall{nullptr};

// What the helper's call left, read by the caller once the helper finished.
struct ReparentOutcome {
  std::atomic<DWORD> error{0};
};

}  // namespace

void SetReparentCallForTesting(ReparentCall call) { g_reparentCall.store(call); }

bool WindowAnswers(HWND wnd, DWORD timeoutMs, DWORD* error) {
  DWORD_PTR result = 0;
  // Cleared first: the call does not set an error on every failure, and a
  // stale one would name the wrong cause.
  SetLastError(0);
  if (SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0) return true;
  if (error != nullptr) *error = GetLastError();
  return false;
}

ReparentResult BoundedSetParent(HWND child, HWND parent, DWORD boundMs, LateReparent late, DWORD* error) {
  std::function<void()> undo;
  try {
    auto outcome = std::make_shared<ReparentOutcome>();
    const ReparentCall testCall = g_reparentCall.load();
    const ReparentCall call = testCall != nullptr ? testCall : &SetParent;
    if (late == LateReparent::BackToTopLevel) {
      // The caller has reported failure: the window must not end up where it
      // was told it would not be.
      undo = [child] {
        if (IsWindow(child)) SetParent(child, nullptr);
      };
    }
    // A helper that has not begun by the bound is called off, so nothing is
    // changed behind the caller's back.
    auto work = [child, parent, call, outcome] {
      SetLastError(0);
      call(child, parent);
      outcome->error.store(GetLastError());
    };
    switch (RunOnHelperThread(std::move(work), std::move(undo), boundMs, boundMs)) {
      case HelperCallResult::Finished:
        if (error != nullptr) *error = outcome->error.load();
        return ReparentResult::Done;
      case HelperCallResult::TimedOut:
        return ReparentResult::TimedOut;
      case HelperCallResult::NotStarted:
      default:
        return ReparentResult::NoThread;
    }
  } catch (...) {
    return ReparentResult::NoThread;  // out of memory before a helper existed
  }
}

}  // namespace lumo
