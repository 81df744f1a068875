// Reading the host's launch options ("parent", "gameid", "lumo-pipe",
// "token") from the process command line into LaunchParams. Called on the
// game's thread by Init and Login.
#pragma once

#include <cstddef>
#include <string>

#include "sdk/sdk_context.h"

namespace lumo {

// Fills every field of `params` from `commandLine` (zeroing it first).
// parentValid is set when the "parent" window exists at this moment.
void FillLaunchParams(const std::wstring& commandLine, LaunchParams& params);

// Fills ctx.launchParams from the process command line; returns true.
bool LoadLaunchParams(SdkContext& ctx);

// Runs LoadLaunchParams the first time only; false when loading failed.
bool EnsureLaunchParamsLoaded(SdkContext& ctx);

// The "parent" option's value as a window handle: unsigned decimal with the C
// library's rules (no digits give null; 0x1A2B gives null).
HWND ParseWindowHandle(const std::wstring& value);

// "ipc_channel_game" "_" token-in-UTF-8, or "ipc_channel_game_unknown".
std::string MakeChannelName(const std::wstring& token);

// Copies `text` into a buffer of `capacity` bytes, NUL-terminated, cutting
// at the last whole UTF-8 character that fits.
void CopyUtf8Truncated(char* dest, size_t capacity, const std::string& text);

}  // namespace lumo
