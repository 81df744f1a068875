// CIPCChannel: the process's IPC link to the host. It bundles the library's
// own receive channel (read by the receive thread), the "IpcSender" thread
// that writes into host channels, and the closed flag that shuts the
// sender's door.
//
// Threads: Send from any thread; Close and destruction from any thread but
// the sender thread (they join it), and only after the receive thread has
// ended (Close unmaps the receive region). Held under shared ownership by
// IpcLink, and for the length of a send by the sending thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "ipc/ipc_sender.h"
#include "ipc/receive_channel.h"

namespace lumo {

// How long Close waits for the sender thread beyond its delivery budget: the
// time its clean-up takes (dropping the host connections).
constexpr DWORD kSenderStopMarginMs = 150;

class CIPCChannel {
 public:
  CIPCChannel();
  ~CIPCChannel();
  CIPCChannel(const CIPCChannel&) = delete;
  CIPCChannel& operator=(const CIPCChannel&) = delete;

  using SendResult = lumo::SendResult;

  // Queues `payload` for the host channel `target`; fire-and-forget: never
  // waits for the host. Refuses, with the cause, an empty target (NoTarget),
  // an empty payload (EmptyEnvelope: the envelope could not be written), one that
  // a host channel cannot carry (TooLarge), a full queue and a closed
  // channel. `target` is copied only into the queue.
  SendResult Send(const std::string& target, std::string payload);

  // Refuses further sends, closes the receive channel (unless the receive
  // loop may still read it: `receiveEnded` false), and stops the sender
  // after it has delivered what it can of the queue within `budgetMs`; the
  // rest is dropped with a log line. Waits for the sender thread at most
  // the budget and kSenderStopMarginMs. False when the sender thread still
  // runs after that: the channel must then stay alive. Runs once; later
  // calls answer whether the sender has stopped.
  bool Close(DWORD budgetMs, bool receiveEnded = true);

  std::atomic<bool> closed{false};
  ReceiveChannel receive;  // handler table, receive endpoint, stop flag
  CIpcSender sender;
};

}  // namespace lumo
