#include "sdk/host_window.h"

#include <functional>
#include <utility>

#include "sdk/helper_call.h"

namespace lumo {

bool WindowAnswers(HWND wnd, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

ReparentResult BoundedSetParent(HWND child, HWND parent, DWORD boundMs, LateReparent late) {
  std::function<void()> undo;
  try {
    if (late == LateReparent::BackToTopLevel) {
      // The caller has reported failure: the window must not end up where it
      // was told it would not be.
      undo = [child] {
        if (IsWindow(child)) SetParent(child, nullptr);
      };
    }
    // A helper that has not begun by the bound is called off, so nothing is
    // changed behind the caller's back.
    switch (RunOnHelperThread([child, parent] { SetParent(child, parent); }, std::move(undo), boundMs, boundMs)) {
      case HelperCallResult::Finished:
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
