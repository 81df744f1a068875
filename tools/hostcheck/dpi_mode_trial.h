// Tries to embed a game window of each DPI awareness into the launcher's
// window, as games of each kind would be. Each mode runs in a fresh process
// of its own (lumo-hostcheck started again with --dpi-trial), because
// Windows resets the awareness of a process whose window it embeds into a
// window of another awareness, and a reset would change every later trial
// of a shared process. The trial process sets its awareness, makes a window,
// restyles it as the library restyles a game window (embed_style.h), shows
// it, re-parents it into the launcher's window and reads its awareness
// again; it reports one line (dpi_trial_report.h).
//
// TryDpiModes: the check thread; each trial process is waited for at most
// `boundMs` and ended when it takes longer. RunDpiTrialProcess: the main
// thread of a trial process, instead of the checks.
#pragma once

#include <windows.h>

#include <vector>

#include "hostcheck/dpi_trial_report.h"
#include "sdk/dpi_awareness.h"

namespace hostcheck {

struct DpiModeTrial {
  lumo::DpiAwareness requested = lumo::DpiAwareness::Unknown;
  DpiTrialResult result;
  // For a per-monitor aware v2 mode the system cannot make: the same trial
  // with per-monitor aware v1, which the DPI rule treats alike.
  bool hasStandIn = false;
  DpiTrialResult standIn;
};

// Unaware, system aware and per-monitor aware v2, in that order.
std::vector<DpiModeTrial> TryDpiModes(HWND host, DWORD boundMs);

// One trial of `mode` against `host` in this process; prints its line and
// returns the process's exit code.
int RunDpiTrialProcess(lumo::DpiAwareness mode, HWND host);

}  // namespace hostcheck
