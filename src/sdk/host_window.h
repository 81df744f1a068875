// The window steps that involve the host's window thread, with bounds: a hung
// launcher (its window thread no longer pumps messages) must neither freeze
// nor trap the game.
//
// Called on the thread that calls the exports (normally the game's window
// thread). BoundedSetParent leaves a helper thread behind when it gives up
// (helper_call.h); that thread owns its own state and touches nothing else
// of the library.
#pragma once

#include <windows.h>

namespace lumo {

// True when `wnd`'s thread answers a message within `timeoutMs`. A thread the
// system already takes for hung fails at once. The calling thread serves
// messages sent to its own windows while it waits. On false, `error` (when
// given) receives the last error of the failed call: ERROR_TIMEOUT for no
// answer in time, ERROR_ACCESS_DENIED for a window of a higher integrity
// level, ERROR_INVALID_WINDOW_HANDLE for a window gone, 0 when the call set
// none (Microsoft counts that as a generic failure, cause unknown).
bool WindowAnswers(HWND wnd, DWORD timeoutMs, DWORD* error = nullptr);

// What happens to the window when the helper's SetParent returns only after
// the caller has given up.
enum class LateReparent {
  Keep,         // leave it where SetParent put it
  BackToTopLevel  // take it out of `parent` again (SetParent(child, nullptr))
};

enum class ReparentResult {
  Done,      // SetParent returned within the bound
  TimedOut,  // still running on the helper thread; see LateReparent
  NoThread   // no helper began within the bound; nothing was changed
};

// SetParent(child, parent) on a helper thread, waited for at most `boundMs`.
// Meanwhile the calling thread serves sent messages only (helper_call.h; the
// re-parenting sends the child's own messages to the child's thread). On Done,
// `error` (when given) receives the thread's last error after the call, 0
// when it set none. SetParent's own answer says little (it names the
// previous parent, which may be null); callers look at where the window is.
ReparentResult BoundedSetParent(HWND child, HWND parent, DWORD boundMs, LateReparent late, DWORD* error = nullptr);

// The call BoundedSetParent makes. Tests put in one whose outcome they
// choose, to reach the refusals that Windows gives and Wine never does (an
// elevated launcher); null puts SetParent back.
using ReparentCall = HWND(WINAPI*)(HWND child, HWND parent);
void SetReparentCallForTesting(ReparentCall call);

}  // namespace lumo
