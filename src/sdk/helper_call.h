// Work that may block for long (a call into the host's window thread, a
// network request) runs on a helper thread while the calling thread, often
// the game's window thread, waits for it with a bound, serving sent
// messages only (nbase::ThreadWait::ServingSentMessages): the host's window
// thread is never held up by the wait.
//
// Threads: any thread calls; the work and the late step run on the helper,
// an nbase::Thread that is let go when the work outlives the bound.
// Ownership: the work and the late step own what they share with the caller;
// a helper that outlives the wait touches nothing else.
#pragma once

#include <windows.h>

#include <functional>

namespace lumo {

enum class HelperCallResult {
  Finished,   // the work ran and returned within the bound
  TimedOut,   // the work began but had not returned at the bound; it runs
              // on, then the late step runs after it
  NotStarted  // no helper ran within the start bound (it could not be made,
              // or no new thread can begin now, as while the loader lock is
              // held); the work never runs
};

// Runs `work` on a new thread and waits, serving sent messages, until it
// returned or `boundMs` have passed. A helper that has not begun the work
// within `startBoundMs` (at most `boundMs`) is called off. `late`, when set,
// runs on the helper after a work that returned only after the caller gave
// up. Neither may throw, and neither may use the caller's stack: whatever
// they share with the caller, they own a share of.
HelperCallResult RunOnHelperThread(std::function<void()> work, std::function<void()> late, DWORD startBoundMs,
                                   DWORD boundMs);

}  // namespace lumo
