// Waiting until the reader of a channel has taken the last message written
// into it. A channel holds one message and its reader answers nothing; the
// only sign is the channel's server event, auto-reset, which stays
// signalled until the reader's wait consumes it. Both writers of this
// project use it: the library's sender for host channels, and the
// development host for the game's channel.
//
// Any thread; blocks the caller for at most about the bound.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace lumo {

enum class TakeWait {
  Taken,     // the event reads not signalled: the reader woke for the message
  Unknown,   // the event's state cannot be read: nothing to learn progress from
  TimedOut,  // still signalled after the bound
  Stopped,   // `stop` asked to give up
};

// Reads `serverEvent` every `pollMs` until one of the outcomes above, the
// bound measured on the library's clock for bounds (nbase::SteadyNowMs).
// `stop` (may be empty) is asked after each unsuccessful look.
// `wasPending` (may be null) receives whether the first look found a
// message not yet taken.
TakeWait WaitForReaderToTake(HANDLE serverEvent, uint64_t boundMs, DWORD pollMs,
                             const std::function<bool()>& stop = nullptr, bool* wasPending = nullptr);

}  // namespace lumo
