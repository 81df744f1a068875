// The DPI awareness of windows and threads, and a window's DPI hosting
// behaviour. Re-parenting a window into a window of another awareness may
// change the child process's awareness or be refused (dpi_embedding_rules.h);
// the embedding reads these values before and after to say what happened,
// and the development host and the host checker set them to play launchers
// and games of each kind.
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
// The calling thread's awareness: its own where it set one, else the
// process's.
DpiAwareness ThreadDpiAwareness();

// Sets the awareness of the windows the calling thread creates from now on.
// False where the system lacks the call or refuses the mode (Wine refuses
// per-monitor aware v2).
bool SetThreadDpiAwareness(DpiAwareness awareness);
// Sets the awareness of the whole process, as a game's manifest or its
// start-up code does. False where the system lacks the call, refuses the
// mode, or the process's awareness was set already (by its manifest).
bool SetProcessDpiAwareness(DpiAwareness awareness);
// Lets the windows the calling thread creates from now on host children of
// another awareness. False where the system lacks the call.
bool SetThreadMixedDpiHosting();

}  // namespace lumo
