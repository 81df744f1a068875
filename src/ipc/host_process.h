// Finding the host process behind a host channel name, so that the sender
// can watch it and drop the connection when it ends. Any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace lumo {

// The process that owns the host channel `name`, or 0 when none is known:
// the fixed host channels are found through their host window class, the
// "ipc_channel_player" family through `hostWindow` (the launcher's window,
// "parent" on the command line; may be null).
uint32_t FindHostProcessId(const std::string& name, HWND hostWindow);

// The window class whose owner is the host of `name`, or null when the
// name has none (the "ipc_channel_player" family and unknown names).
const wchar_t* HostWindowClassFor(const std::string& name);

// Whether `name` is of the "ipc_channel_player" family (the prefix itself
// included), whose host is the launcher's window's process.
bool IsPlayerChannel(const std::string& name);

// Whether FindHostProcessId has a way to find the host of `name` at all.
bool HasHostLookup(const std::string& name);

// The process of `window`, or 0 when it is null or no longer exists.
uint32_t WindowProcessId(HWND window);

}  // namespace lumo
