// The DPI awareness and hosting the host window is made with. Prepare sets
// them on the calling thread before it creates the window (they hold for the
// windows that thread creates from then on); Describe reads them back from
// the window. The system may refuse a mode or lack the calls: Prepare says
// which in its lines and the window keeps what the system gives it. Main
// thread (the host window's) only, but for DescribeGameWindowDpi.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devhost/options.h"

namespace devhost {

// Sets the requested awareness and mixed hosting on the calling thread. One
// "dpi refused <what>: <why>" text per request the system refused.
std::vector<std::string> PrepareWindowThreadDpi(const Options& options);

// "dpi awareness=<awareness> hosting=<hosting>" of `wnd`, as read back.
std::string DescribeWindowDpi(HWND wnd);

// "game dpi awareness=<game window's> host=<the window it is in>" for the
// game window a window-ready message named, read when it arrives, after the
// embedding: a game whose awareness Windows reset shows it here. `host` is
// "not inside a window of lumo-devhost" when the game is not embedded in
// one. Any thread.
std::string DescribeGameWindowDpi(HWND game);

}  // namespace devhost
