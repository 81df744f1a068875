// What the log says of the launch options at the first lumoGameInit: which
// options the command line held (the token by its length only, never its
// text) and, for a "parent" that names no window, why and what follows.
// Pure text processing with no platform calls (built natively into the
// command-line fuzz target); any thread.
#pragma once

#include <string>

#include "launch/command_line.h"

namespace lumo {

enum class ParentVerdict {
  Absent,      // no "parent" option
  Window,      // a decimal handle that named a window when it was read
  NotAWindow,  // a decimal handle other than 0 that named no window
  Zero,        // 0 (or 00, ...)
  NotANumber   // empty, or anything but decimal digits (a sign, 0x, a name)
};

// The verdict on the "parent" option; `isWindow` is the system's answer
// for the handle it names.
ParentVerdict JudgeParent(const CCommandLine& cmd, bool isWindow);

// "Launch options: parent=132456 gameid=7 lumo-pipe=ipc_channel_host_1
// token=present (36 characters)", "absent" for each option missing. Values
// are cut at 64 units, control characters shown as '?'.
std::wstring DescribeLaunchOptions(const CCommandLine& cmd);

// The line for a "parent" that names no window (empty for Absent and
// Window): which value, why, and that the game runs outside the launcher.
std::wstring DescribeParentProblem(const CCommandLine& cmd, ParentVerdict verdict);

}  // namespace lumo
