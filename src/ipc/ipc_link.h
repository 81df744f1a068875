// IpcLink: owns the library's IPC link for its whole life: the shared
// CIPCChannel, the receive thread that serves the library's own channel,
// and the rule for a process that exits while the link still runs.
//
// Threads: StartIpc and StopIpc on one thread at a time (the caller
// serialises them). Send and channel() from any thread at any time, also
// while StopIpc runs on another: a sender holds its own reference to the
// channel for the length of the send, so nothing it touches is freed under
// it; after StopIpc began, sends are refused.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "ipc/ipc_channel.h"
#include "ipc/stop_budget.h"
#include "nbase/lock.h"
#include "nbase/thread.h"

namespace lumo {

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

  // Creates the channel object, the library's receive channel `name`, the
  // sender thread and the receive thread. `hostWindow` is the launcher's
  // window (may be null), whose process owns the player host channels.
  // `firstTarget` (may be empty) is the host channel the first message goes
  // to: the sender opens it while it starts, before this returns.
  // True when started now or earlier; false (nothing left running) when the
  // name is empty or the channel cannot be created — createFailure() then
  // says why, for the caller's line, which names the channel without the
  // token in it — or, with a line of its own, when the sender thread could
  // not begin within kThreadStartBoundMs (as when the caller holds the
  // loader lock).
  bool StartIpc(const std::string& name, HWND hostWindow = nullptr, const std::string& firstTarget = std::string());

  // Ends what StartIpc started: stops the receive loop (waiting at most
  // kReceiveStopBoundMs), then closes the channel, whose sender delivers
  // what it can of its queue within `budgetMs` and drops the rest with a log
  // line. Returns within about the budget and the two bounds, also while the
  // caller holds the loader lock. A thread that did not end in time is let
  // go with a share of the channel it uses, with a log line: the last of the
  // two threads to end releases the channel.
  // Does nothing when not started.
  void StopIpc(DWORD budgetMs = kIpcStopBudgetMs);

  // Queues `payload` for the host channel `target` (see CIpcSender::Queue,
  // which decides every refusal); NotRunning when the link is not started.
  CIPCChannel::SendResult Send(const std::string& target, std::string payload);

  bool started() const { return started_.load(); }
  // StartIpc's thread only.
  IpcCreateFailure createFailure() const { return createFailure_; }
  // The running channel, or null.
  std::shared_ptr<CIPCChannel> channel() const;

 private:
  mutable nbase::Lock lock_;              // guards channel_
  std::shared_ptr<CIPCChannel> channel_;
  std::unique_ptr<nbase::Thread> receiveThread_;  // StartIpc/StopIpc's thread only
  std::atomic<bool> started_{false};
  IpcCreateFailure createFailure_;  // StartIpc's thread only
};

}  // namespace lumo
