#include "ipc/receive_channel.h"

#include <utility>

#include "ipc/envelope.h"
#include "ipc/receive_text.h"

namespace lumo {

ReceiveChannel::~ReceiveChannel() {
  if (endpoint.status == ShmStatus::Ok) endpoint.Close();
}

void ReceiveChannel::RequestStop() {
  stop.exchange(true);
  if (endpoint.status != ShmStatus::Ok) return;
  if (endpoint.serverEvent.handle) SetEvent(endpoint.serverEvent.handle);
  if (endpoint.clientEvent.handle) SetEvent(endpoint.clientEvent.handle);
}

void ReceiveChannel::AddHandler(const std::string& msg, MessageHandler handler) {
  handlers[msg] = std::move(handler);
}

void ReceiveChannel::ReceiveLoop() {
  if (stop.load()) return;
  for (;;) {
    if (endpoint.serverEvent.handle == nullptr) return;
    // The receive thread's idle wait, unbounded on purpose: no thread of the
    // game waits on it. RequestStop ends it, and StopIpc bounds its own wait.
    if (WaitForSingleObject(endpoint.serverEvent.handle, INFINITE) != WAIT_OBJECT_0) return;
    // Shutdown sets the flag and then signals, so the region is not read.
    if (stop.load()) return;
    ServeOneMessage();
    if (stop.load()) return;
  }
}

void ReceiveChannel::ServeOneMessage() {
  // Whatever one message does (a length field past the region, text that
  // is no envelope, a handler that throws, a reply that does not fit), it
  // costs only that message: the loop waits for the next one.
  std::string reply;
  try {
    std::string message;
    if (!endpoint.Read(message)) return;
    reply = DispatchHostMessage(message);
  } catch (...) {
    return;
  }
  if (reply.empty()) return;
  // Write checks usability, view and fit (length + 4 <= region size) and
  // leaves the region untouched when one fails.
  if (!endpoint.Write(reply)) return;
  if (endpoint.clientEvent.handle != nullptr) SetEvent(endpoint.clientEvent.handle);
}

std::string ReceiveChannel::DispatchHostMessage(const std::string& data) const {
  std::string msg;
  std::string body;
  if (!ParseEnvelope(data, msg, body)) {
    OutputDebugStringA(kRecvParseFailedLine);
    return std::string();
  }
  LogReceivedMessage(msg, body, data.size());
  const auto it = handlers.find(msg);
  if (it == handlers.end() || !it->second) {
    OutputDebugStringA(kRecvNoHandlerLine);
    return std::string();
  }
  return it->second(body);
}

void LogReceivedMessage(const std::string& msg, const std::string& body, uint64_t size) {
  OutputDebugStringA(FormatReceivedLine(msg, body, size).c_str());
}

}  // namespace lumo
