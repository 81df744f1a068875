// ReceiveChannel: the library's own channel, the one it is the server of
// and the host writes to, with the loop that serves it. The host writes an
// envelope into the region and signals the server event; ReceiveLoop reads
// it, writes an "[IPC recv]" line to the debugger output, hands the body to
// the handler registered for the message name, and writes a non-empty reply
// back, announced on the client event.
//
// Ownership: IpcLink holds it by value, creates its endpoint
// (ShmEndpoint::Create) and destroys it; the destructor closes the endpoint
// if it is usable.
//
// Threads: fill `handlers` (AddHandler) before the receive thread starts;
// the loop reads the table without a lock. ReceiveLoop runs on the receive
// thread only. Any thread may set `stop` and then SetEvent the server event
// to end the loop; the endpoint is closed only after that thread has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "ipc/shm_endpoint.h"

namespace lumo {

// Takes the message body (as ParseEnvelope gives it) and returns the reply;
// an empty reply means no answer. Should not throw: a handler that does
// loses only that message's answer.
using MessageHandler = std::function<std::string(const std::string& body)>;

struct ReceiveChannel {
  ReceiveChannel() = default;
  ~ReceiveChannel();
  ReceiveChannel(const ReceiveChannel&) = delete;
  ReceiveChannel& operator=(const ReceiveChannel&) = delete;

  // Message name (exact bytes) to handler. The library registers none.
  std::unordered_map<std::string, MessageHandler> handlers;
  ShmEndpoint endpoint{};  // server side
  std::atomic<bool> stop{false};

  // Sets the stop flag and signals both events of a usable endpoint, so a
  // loop that waits wakes up and returns without reading. Any thread.
  void RequestStop();

  // Registers (or replaces) the handler for `msg`. Only before the receive
  // thread starts.
  void AddHandler(const std::string& msg, MessageHandler handler);

  // Serves the channel until the stop flag is set or a wait fails. A
  // message that cannot be read, parsed or answered is skipped.
  void ReceiveLoop();

  // Reads, dispatches and answers the message in the region. Never throws.
  void ServeOneMessage();

  // Unwraps one received envelope, writes its debugger line(s) and returns
  // the handler's reply (empty when there is none).
  std::string DispatchHostMessage(const std::string& data) const;
};

// Writes FormatReceivedLine(msg, body, size) with one OutputDebugStringA.
void LogReceivedMessage(const std::string& msg, const std::string& body, uint64_t size);

}  // namespace lumo
