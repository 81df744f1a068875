// Small probes of the launcher from the game's side: does its window thread
// answer, does its process run, how big is its channel's mapping. Any
// thread; each call is bounded by its own time-out.
#pragma once

#include <windows.h>

#include <string>

namespace hostcheck {

// Milliseconds until the window's thread answered a WM_NULL, or < 0 when it
// did not within `timeoutMs` (or the window is gone).
double ProbeWindow(HWND wnd, DWORD timeoutMs);

// The process of `wnd` (0 when gone) and whether a process still runs.
DWORD WindowProcess(HWND wnd);
bool ProcessRuns(DWORD pid);

std::string WindowClassName(HWND wnd);
// Client area of `wnd` and outer size of `wnd`, "<w>x<h>".
SIZE ClientSize(HWND wnd);
SIZE WindowSize(HWND wnd);
std::string SizeText(SIZE s);

// The size the named mapping was created with, or < 0 when the system does
// not tell.
long long MappingSize(const char* name);

}  // namespace hostcheck
