// Reads whether an auto-reset event is still signalled, and whether an
// event is auto-reset at all, without consuming it. The host's server event stays signalled until the host's wait takes
// it, so a writer learns from it whether the previous message was picked up.
//
// Any thread; one kernel call per query (NtQueryEvent, looked up once).
#pragma once

#include <windows.h>

namespace lumo {

enum class EventState { NotSignalled = 0, Signalled = 1, Unknown = -1 };

enum class EventKind { ManualReset = 0, AutoReset = 1, Unknown = -1 };

// Unknown when the system offers no query or the handle lacks query access.
EventState QueryEventState(HANDLE event);
// Whether an event resets itself when a wait takes it; consumes nothing.
EventKind QueryEventKind(HANDLE event);

}  // namespace lumo
