// The clauses of the command-line group: the four options the launcher
// passes, read with the library's own parser. Main or check thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hostcheck/report.h"

namespace hostcheck {

// What the later groups need from the command line.
struct LaunchFacts {
  HWND parent = nullptr;      // the --parent window when it is a live top-level window
  bool hasParent = false;     // --parent was given at all
  std::string pipe;           // --lumo-pipe, UTF-8 ("" when missing)
  std::string gameChannel;    // the game's own channel name the library will create
};

// Checks the options of `commandLine` (the whole process command line);
// `launcherPid` is the process that started this one (0 when unknown).
std::vector<ClauseResult> CheckLaunchOptions(const std::wstring& commandLine, DWORD launcherPid, LaunchFacts& facts);

// The process that started this one, or 0.
DWORD ParentProcessId();

}  // namespace hostcheck
