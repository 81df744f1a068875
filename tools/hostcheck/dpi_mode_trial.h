// Tries to embed a game window of each DPI awareness into the launcher's
// window, as games of each kind would be: for each mode a thread of its own
// is set to that awareness, makes a hidden window, re-parents it into the
// host window, looks whether it is inside, and puts it back and destroys it.
// Windows 10 1703 and later refuse the pairs the launcher's window cannot
// host; older systems and Wine embed every pair.
//
// Called from the check thread; each trial runs on a thread of its own and
// is waited for at most `boundMs` (a trial that does not end in time is left
// to finish on its own and counts as not judged).
#pragma once

#include <windows.h>

#include <vector>

#include "sdk/dpi_awareness.h"

namespace hostcheck {

struct DpiModeTrial {
  enum class Outcome {
    Embedded,   // the window was inside the host window after SetParent
    Refused,    // it was not; `error` is SetParent's last error
    NotMade,    // the system refuses the mode or lacks the calls
    TimedOut,   // the trial did not end within its bound
  };
  lumo::DpiAwareness requested = lumo::DpiAwareness::Unknown;
  lumo::DpiAwareness made = lumo::DpiAwareness::Unknown;  // read back from the window
  Outcome outcome = Outcome::NotMade;
  DWORD error = 0;
  // For a per-monitor aware v2 mode the system refuses: the same trial with
  // per-monitor aware v1, which the re-parenting rule treats alike.
  bool hasStandIn = false;
  Outcome standInOutcome = Outcome::NotMade;
  DWORD standInError = 0;
};

// Unaware, system aware and per-monitor aware v2, in that order.
std::vector<DpiModeTrial> TryDpiModes(HWND host, DWORD boundMs);

}  // namespace hostcheck
