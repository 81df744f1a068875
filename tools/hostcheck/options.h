// Options of lumo-hostcheck itself, read from its command line (beside the
// four the launcher passes) and from LUMO_HOSTCHECK_OPTIONS. Text handling
// only; main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sdk/dpi_awareness.h"

namespace hostcheck {

// The groups of clauses, in the order they run.
extern const char* const kGroups[5];

struct Options {
  bool help = false;
  std::wstring jsonPath;  // --json <file>: the report as JSON as well
  std::string only;       // --only <group>: run and report one group; empty: all
  int burst = 0;          // --burst[=<n>]: payment requests to send, 0: none
  // --dpi-trial=<mode> --dpi-trial-host=<hwnd>: this process is one DPI
  // trial that lumo-hostcheck started (dpi_mode_trial.h), not a check run.
  lumo::DpiAwareness dpiTrial = lumo::DpiAwareness::Unknown;
  HWND dpiTrialHost = nullptr;

  bool Runs(const char* group) const { return only.empty() || only == group; }
};

// Reads `args` (program name excluded). The launcher's options (parent,
// gameid, lumo-pipe, token, in any of the forms a game accepts) and any
// other option a launcher may add are skipped. False with `error` set on a
// bad value of our own options.
bool ParseOptions(const std::vector<std::wstring>& args, Options& out, std::string& error);

// Splits a text into arguments the way a command line is split.
std::vector<std::wstring> SplitArguments(const std::wstring& text);

extern const char kHelpText[];

}  // namespace hostcheck
