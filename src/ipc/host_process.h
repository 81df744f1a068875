// Finding the host process behind a host channel name, so that the sender
// can watch it and drop the connection when it ends. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace lumo {

// The process that owns the host channel `name`, or 0 when none is known:
// the fixed host channels are found through their host window class, the
// "ipc_channel_player" family through the command line's "parent" window.
uint32_t FindHostProcessId(const std::string& name);

// The process of the window named by "parent" on the command line, or 0.
uint32_t GetParentWindowProcessId();

}  // namespace lumo
