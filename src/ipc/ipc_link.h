// IpcLink: the process's link to the host, one object for its whole life.
// It owns the library's own receive channel and the thread that serves it,
// the "IpcSender" thread with its outbox and the door that refuses messages
// once a stop has begun; Send decides whether a message goes out, Stop ends
// it all within one budget; and it holds the rule for a process that exits
// while the link still runs.
//
// Threads: StartIpc and StopIpc on one thread at a time (the caller
// serialises them). Send from any thread at any time, also while StopIpc
// runs on another: a send holds its own reference to what it queues into,
// so nothing it touches is freed under it; after StopIpc began, sends are
// refused.
//
// Ownership: what one start runs on (the receive channel and the sender) is
// shared with the two threads only when a stop lets one of them go; the last
// of the link and its threads to be done with it frees it.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "ipc/ipc_sender.h"
#include "ipc/receive_channel.h"
#include "ipc/send_result.h"
#include "nbase/lock.h"
#include "nbase/thread.h"

namespace lumo {

// StopIpc's parts, in the order it spends them; lumoGameUninit adds its
// bound to the window's detach.
constexpr DWORD kReceiveStopBoundMs = 200;  // the receive loop's return, once told to stop
constexpr DWORD kIpcStopBudgetMs = 700;     // the sender's delivery of what is still queued
constexpr DWORD kSenderStopMarginMs = 150;  // the sender's clean-up (dropping the host connections)
constexpr DWORD kIpcStopBoundMs = kReceiveStopBoundMs + kIpcStopBudgetMs + kSenderStopMarginMs;

// Why the last StartIpc could not create the library's own channel: the
// endpoint's status and the system's error then (Ok when it could, or when
// it failed for another reason, which StartIpc logs itself).
struct IpcCreateFailure {
  ShmStatus status = ShmStatus::Ok;
  DWORD error = 0;
};

class IpcLink {
 public:
  IpcLink();
  // Runs with the link still started only at process exit (the module is
  // pinned while it runs): the system has ended the IPC threads already, and
  // joining or stopping them now, under the loader lock, would abort or hang
  // the exit. The game's own exit code stands; the system reclaims the rest.
  ~IpcLink();
  IpcLink(const IpcLink&) = delete;
  IpcLink& operator=(const IpcLink&) = delete;

  // Creates the library's receive channel `name`, the sender thread and the
  // receive thread. `hostWindow` is the launcher's window (may be null),
  // whose process owns the player host channels. `firstTarget` (may be
  // empty) is the host channel the first message goes to: the sender opens
  // it while it starts, before this returns.
  // True when started now or earlier; false (nothing left running) when the
  // name is empty or the channel cannot be created — createFailure() then
  // says why, for the caller's line, which names the channel without the
  // token in it — or, with a line of its own, when the sender thread could
  // not begin within kThreadStartBoundMs (as when the caller holds the
  // loader lock).
  bool StartIpc(const std::string& name, HWND hostWindow = nullptr, const std::string& firstTarget = std::string());

  // Ends what StartIpc started, spending the parts above in turn: stops the
  // receive loop (kReceiveStopBoundMs), shuts the door, closes the receive
  // channel, lets the sender deliver what it can of its queue within
  // `budgetMs` (the rest is dropped with a log line) and waits
  // kSenderStopMarginMs more for its clean-up. Returns within that sum, also
  // while the caller holds the loader lock. A thread that did not end in
  // time is let go with a share of what it runs on, with a log line.
  // Does nothing when not started.
  void StopIpc(DWORD budgetMs = kIpcStopBudgetMs);

  // Hands `payload` to the sender for the host channel `target` and returns
  // at once. Every refusal, with its cause, in this order: the link not
  // started (NotRunning), an empty target (NoTarget), an empty payload
  // (EmptyEnvelope: the envelope could not be written), one that a host
  // channel cannot carry (TooLarge), a stop begun (Closed), a full outbox
  // (Full); otherwise Queued. Any thread.
  SendResult Send(const std::string& target, std::string payload);

  bool started() const { return started_.load(); }
  // StartIpc's thread only.
  IpcCreateFailure createFailure() const { return createFailure_; }
  // The running sender, or null; it outlives a stop for as long as it is
  // held. For tests and the soak, which look at its thread and its door.
  std::shared_ptr<CIpcSender> sender() const;

 private:
  // What one start runs on.
  struct Run {
    ReceiveChannel receive;  // handler table, receive endpoint, stop flag
    CIpcSender sender;       // the outbox, its door and the host connections
  };

  std::shared_ptr<Run> current() const;
  // Lets `thread`, which still runs on `run`, go with a share of it. False
  // when the thread's body had returned after all.
  static bool LeaveRunning(nbase::Thread& thread, const std::shared_ptr<Run>& run);
  // The sender's part of a stop, also for a start that failed halfway (budget
  // 0): the door shut, the receive channel closed unless its loop may still
  // read it, the queue delivered within `budgetMs`, the clean-up waited for
  // kSenderStopMarginMs more; a sender still running then is let go.
  static void StopSender(const std::shared_ptr<Run>& run, DWORD budgetMs, bool receiveEnded);

  mutable nbase::Lock lock_;  // guards run_
  std::shared_ptr<Run> run_;
  std::unique_ptr<nbase::Thread> receiveThread_;  // StartIpc/StopIpc's thread only
  std::atomic<bool> started_{false};
  IpcCreateFailure createFailure_;  // StartIpc's thread only
};

}  // namespace lumo
