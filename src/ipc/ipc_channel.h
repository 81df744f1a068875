// CIPCChannel: the process's IPC link to the host. It bundles the library's
// own receive channel (read by the receive thread) and the "IpcSender"
// thread that writes into host channels, whose Queue decides every refusal
// of a message, the closed door included.
//
// Threads: sender.Queue from any thread; Close and destruction from any
// thread but the sender thread (they join it), and only after the receive
// thread has ended (Close unmaps the receive region). Held under shared ownership by
// IpcLink, and for the length of a send by the sending thread.
#pragma once

#include <windows.h>

#include "ipc/ipc_sender.h"
#include "ipc/receive_channel.h"
#include "ipc/stop_budget.h"

namespace lumo {

class CIPCChannel {
 public:
  CIPCChannel();
  ~CIPCChannel();
  CIPCChannel(const CIPCChannel&) = delete;
  CIPCChannel& operator=(const CIPCChannel&) = delete;

  using SendResult = lumo::SendResult;

  // Refuses further sends, closes the receive channel (unless the receive
  // loop may still read it: `receiveEnded` false), and stops the sender
  // after it has delivered what it can of the queue within `budgetMs`; the
  // rest is dropped with a log line. Waits for the sender thread at most
  // the budget and kSenderStopMarginMs. False when the sender thread still
  // runs after that: the channel must then stay alive. Runs once; later
  // calls answer whether the sender has stopped.
  bool Close(DWORD budgetMs, bool receiveEnded = true);

  ReceiveChannel receive;  // handler table, receive endpoint, stop flag
  CIpcSender sender;
};

}  // namespace lumo
