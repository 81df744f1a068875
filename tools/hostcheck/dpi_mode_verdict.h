// The verdict of the window/dpi-modes clause from the trials: PASS when a
// game window of every awareness embedded and kept its awareness, FAIL
// naming each mode whose awareness was reset (before -> after) or whose
// window was refused, with what the launcher can change, WARN "not judged"
// naming the modes the system would not make or whose trial gave no answer.
// Text only, no system calls; any thread.
#pragma once

#include <string>
#include <vector>

#include "hostcheck/dpi_mode_trial.h"
#include "hostcheck/report.h"
#include "sdk/dpi_awareness.h"

namespace hostcheck {

struct DpiModesResult {
  Verdict verdict = Verdict::Warn;
  std::string observation;
};

// `host` and `hosting` are the launcher window's, as read back from it.
DpiModesResult JudgeDpiModes(const std::vector<DpiModeTrial>& trials, lumo::DpiAwareness host,
                             lumo::DpiHosting hosting);

}  // namespace hostcheck
