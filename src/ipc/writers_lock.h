// WritersLock: the writers' lock of one host channel N, a named mutex
// N "_lumo_writers" (kShmWritersLockSuffix) in the same namespace as the
// channel's events. A host channel holds one message and answers nothing,
// so several games sending into one launcher channel take turns through it:
// each of this library's senders holds it for one message, from before it
// looks for the previous message through its own write and signal until the
// host has taken that message. The host never sees it.
//
// A plain value like ShmEndpoint: its owner keeps it in one place and calls
// Close once. A mutex belongs to the thread that took it, so Take and
// Release run on one thread (the sender thread). Nothing here logs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace lumo {

enum class LockTake {
  Taken,      // held: this message's turn
  Abandoned,  // held, after a process ended while holding it
  TimedOut,   // still held by another after the bound
  Stopped,    // the stop time came first
  Failed,     // the wait itself failed (or there is no mutex): not held
};

struct WritersLock {
  HANDLE mutex;      // null when none
  DWORD openError;   // the Windows error of a failed Open, else 0
  bool held;

  // Creates or opens the lock of the channel `channelName` (a usable channel
  // name) with the rights it needs (SYNCHRONIZE | MUTEX_MODIFY_STATE). False,
  // with openError set, when the name is held by another kind of object
  // (ERROR_INVALID_HANDLE), access is denied, or anything else fails.
  bool Open(const char* channelName);
  // Waits up to `boundMs` (0: one look), and no longer than `msBeforeStop`
  // (may be empty) answers: how long until the caller must give up,
  // UINT64_MAX while no such time is set. `stopSet` (may be null) is an
  // event set when such a time is set meanwhile. One wait, not slices: a
  // waiter keeps its place among the others. The thread that releases.
  LockTake Take(uint64_t boundMs, HANDLE stopSet, const std::function<uint64_t()>& msBeforeStop);
  // Lets go when held; nothing otherwise. The thread that took it.
  void Release();
  // Releases when held, closes the handle and zeroes the record.
  void Close();
};

// The cause of a failed Open, for a log line.
std::wstring DescribeWritersLockFailure(uint32_t windowsError);

}  // namespace lumo
