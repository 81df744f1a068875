// Reading the host's launch options ("parent", "gameid", "lumo-pipe",
// "token") from the process command line into LaunchParams, a plain value
// the caller keeps. Any thread; nothing here keeps state.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "launch/channel_name.h"

namespace lumo {

// Values read from the command line.
struct LaunchParams {
  HWND parentWnd;        // host window ("parent")
  int32_t parentValid;   // 1 when parentWnd named an existing window when read
  int64_t gameId;        // "gameid"
  char hostPipe[256];    // "lumo-pipe", UTF-8; where messages to the host go
  char channelName[256]; // the library's own receive channel
  wchar_t token[64];     // "token", at most 63 units
};

// Fills every field of `params` from `commandLine` (zeroing it first).
// parentValid is set when the "parent" window exists at this moment.
void FillLaunchParams(const std::wstring& commandLine, LaunchParams& params);

// The launch parameters of this process's command line.
LaunchParams LoadLaunchParams();

// The "parent" option's value as a window handle: unsigned decimal with the C
// library's rules (no digits give null; 0x1A2B gives null).
HWND ParseWindowHandle(const std::wstring& value);

}  // namespace lumo
