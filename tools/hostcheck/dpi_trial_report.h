// The one line a DPI trial process prints for lumo-hostcheck, which started
// it (dpi_mode_trial.h), and the names of the modes on its command line.
// Text only, no system calls; any thread.
#pragma once

#include <string>

#include "sdk/dpi_awareness.h"

namespace hostcheck {

// What one trial process found.
struct DpiTrialResult {
  enum class Outcome {
    Kept,      // embedded, and the process kept its awareness
    Reset,     // embedded, but the awareness changed: `before` -> `after`
    Refused,   // not inside the host window after SetParent; `error` is its last error
    NotMade,   // the system refuses the mode or lacks the calls; `made` is what it gave
    TimedOut,  // the trial process did not end within its bound (and was ended)
    NoResult,  // the trial process could not start, or ended without a line
  };
  Outcome outcome = Outcome::NoResult;
  lumo::DpiAwareness made = lumo::DpiAwareness::Unknown;  // read back from the trial's window
  lumo::DpiAwareness before = lumo::DpiAwareness::Unknown;
  lumo::DpiAwareness after = lumo::DpiAwareness::Unknown;
  unsigned long error = 0;
};

// "unaware", "system", "permonitor", "permonitor2"; null for Unknown.
const char* DpiTrialModeName(lumo::DpiAwareness mode);
// The mode for a name above; Unknown for any other text.
lumo::DpiAwareness DpiTrialModeFromName(const std::string& name);

// "dpi-trial outcome=<kept|reset|refused|not-made> made=<mode> before=<mode>
// after=<mode> error=<n>", modes as named above or "unknown". Only the four
// outcomes a trial process itself can report.
std::string FormatDpiTrialLine(const DpiTrialResult& result);

// The first such line in `output` (a trial process's whole standard
// output); false, `result` untouched, when there is none or it is damaged.
bool ParseDpiTrialOutput(const std::string& output, DpiTrialResult& result);

}  // namespace hostcheck
