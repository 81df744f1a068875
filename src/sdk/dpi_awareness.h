// The DPI awareness of windows and threads, and a window's DPI hosting
// behaviour. Windows 10 1703 and later refuse to re-parent a window into a
// window of another awareness unless the parent was made on a thread with
// mixed DPI hosting (Windows 10 1803 and later); the embedding reads these
// values to say why it failed, and the development host and the host
// checker set them to play launchers and games of each kind.
//
// The calls exist only on newer systems (and partly under Wine), so they are
// looked up in user32 at run time: where one is missing the answer is
// Unknown or false, never a failure of the caller. Any thread.
#pragma once

#include <windows.h>

namespace lumo {

enum class DpiAwareness {
  Unknown,  // the system lacks the calls, or the window is gone
  Unaware,
  SystemAware,
  PerMonitorAware,
  PerMonitorAwareV2,
};

enum class DpiHosting {
  Unknown,  // the system lacks the call (before Windows 10 1803; Wine)
  Default,  // children must have the window's own awareness
  Mixed,    // children of another awareness may be hosted
};

DpiAwareness WindowDpiAwareness(HWND wnd);
DpiHosting WindowDpiHosting(HWND wnd);

// Sets the awareness of the windows the calling thread creates from now on.
// False where the system lacks the call or refuses the mode (Wine refuses
// per-monitor aware v2).
bool SetThreadDpiAwareness(DpiAwareness awareness);
// Lets the windows the calling thread creates from now on host children of
// another awareness. False where the system lacks the call.
bool SetThreadMixedDpiHosting();

}  // namespace lumo
