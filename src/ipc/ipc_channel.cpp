#include "ipc/ipc_channel.h"

#include <memory>
#include <thread>

#include "sdk/module_pin.h"

namespace lumo {

CIPCChannel::CIPCChannel() {
  sender.postGuard = [this] { return !closed.load(); };
}

CIPCChannel::~CIPCChannel() { Close(); }

void CIPCChannel::Send(std::string target, const std::string& payload) {
  CIpcSender* s = &sender;
  std::string message = payload;
  sender.Post([s, target, message] {
    // Sending is fire-and-forget: a failure (even out of memory) drops the
    // message rather than ending the game from the sender thread.
    try {
      s->SendTo(target, message);
    } catch (...) {
    }
  });
}

void CIPCChannel::Close() {
  bool wasClosed = false;
  sender.ShutPosts([this, &wasClosed] { wasClosed = closed.exchange(true); });
  if (wasClosed) return;
  receive.RequestStop();
  if (receive.endpoint.status == ShmStatus::Ok) receive.endpoint.Close();
  // Messages queued before the door closed are still delivered.
  if (sender.thread_id() != 0) sender.Stop();
}

bool StartIpc(IpcBlock& block, const std::string& name) {
  if (block.ipcStarted) return true;
  if (name.empty()) return false;

  block.channel = std::make_shared<CIPCChannel>();
  CIPCChannel& channel = *block.channel;
  channel.closed.exchange(false);
  channel.receive.stop.exchange(false);

  channel.receive.endpoint = ShmEndpoint::Create(name.c_str());
  if (channel.receive.endpoint.status != ShmStatus::Ok) return false;

  if (channel.sender.thread_id() == 0 && channel.sender.message_loop() == nullptr) {
    channel.sender.Start(nbase::LoopType::Default, nullptr);
  }

  block.ipcStarted = true;
  CIPCChannel* receiving = block.channel.get();
  try {
    // The thread uses the channel without a reference of its own: Uninit
    // joins it before the channel is released.
    block.receiveThread = std::thread([receiving] { receiving->receive.ReceiveLoop(); });
  } catch (...) {
    block.ipcStarted = false;
    channel.Close();
    return false;
  }
  // The IPC threads run our code: from here on the module stays mapped
  // until the process ends, whatever the game does with its own reference.
  PinModule();
  return true;
}

void StopIpc(IpcBlock& ipc) {
  if (ipc.channel) ipc.channel->receive.RequestStop();
  if (ipc.receiveThread.joinable()) ipc.receiveThread.join();
  if (ipc.channel) {
    ipc.channel->Close();
    ipc.channel.reset();
  }
  ipc.ipcStarted = false;
}

}  // namespace lumo
