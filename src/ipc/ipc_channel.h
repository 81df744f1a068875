// CIPCChannel: the process's IPC link to the host. It bundles the library's
// own receive channel (read by the receive thread), the "IpcSender" thread
// that writes into host channels, and the closed flag that shuts the
// sender's door.
//
// Threads: Send from any thread; Close and destruction from any thread but
// the sender thread (they join it), and only after the receive thread has
// ended (Close unmaps the receive region). Held under shared ownership by
// the SdkContext.
#pragma once

#include <atomic>
#include <string>

#include "ipc/ipc_sender.h"
#include "ipc/receive_part.h"
#include "sdk/sdk_context.h"

namespace lumo {

class CIPCChannel {
 public:
  CIPCChannel();
  ~CIPCChannel();
  CIPCChannel(const CIPCChannel&) = delete;
  CIPCChannel& operator=(const CIPCChannel&) = delete;

  // Queues `payload` for the host channel `target`; fire-and-forget.
  void Send(std::string target, const std::string& payload);

  // Refuses further sends, wakes and closes the receive channel, and stops
  // the sender after the messages already queued. Runs once.
  void Close();

  std::atomic<bool> closed{false};
  ReceivePart receive;  // handler table, receive endpoint, stop flag
  CIpcSender sender;
};

// Starts the IPC link for the block of the SdkContext: creates the channel
// object, the library's receive channel `name`, the sender thread and the
// receive thread. True when started now or earlier. Game thread.
bool StartIpc(IpcBlock& block, const std::string& name);

// Ends what StartIpc started: stops and wakes the receive loop, joins its
// thread, closes the channel (the sender delivers what it has queued, then
// stops) and releases it. Game thread.
void StopIpc(IpcBlock& block);

}  // namespace lumo
