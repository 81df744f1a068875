#include "ipc/ipc_link.h"

#include <utility>

#include "nbase/module_pin.h"

namespace lumo {

IpcLink::~IpcLink() {
  if (!started_.load()) return;  // no thread of ours runs: release normally
  if (receiveThread_.joinable()) receiveThread_.detach();
  nbase::AutoLock hold(lock_);
  if (channel_) {
    // Deliberately leaked: its destructor would stop a sender thread that
    // no longer exists.
    new std::shared_ptr<CIPCChannel>(std::move(channel_));
  }
}

std::shared_ptr<CIPCChannel> IpcLink::channel() const {
  nbase::AutoLock hold(lock_);
  return channel_;
}

CIPCChannel::SendResult IpcLink::Send(const std::string& target, std::string payload) {
  const std::shared_ptr<CIPCChannel> channel = this->channel();
  if (!channel) return CIPCChannel::SendResult::Closed;
  return channel->Send(target, std::move(payload));
}

bool IpcLink::StartIpc(const std::string& name, HWND hostWindow) {
  if (started_.load()) return true;
  if (name.empty()) return false;

  auto channel = std::make_shared<CIPCChannel>();
  channel->receive.endpoint = ShmEndpoint::Create(name.c_str());
  if (channel->receive.endpoint.status != ShmStatus::Ok) return false;
  channel->sender.set_host_window(hostWindow);
  if (!channel->sender.StartSending()) {
    channel->Close(0);
    return false;
  }

  CIPCChannel* receiving = channel.get();
  try {
    // The thread uses the channel without a reference of its own: StopIpc
    // joins it before the channel is closed and released.
    receiveThread_ = std::thread([receiving] { receiving->receive.ReceiveLoop(); });
  } catch (...) {
    channel->Close(0);
    return false;
  }
  {
    nbase::AutoLock hold(lock_);
    channel_ = std::move(channel);
  }
  started_.store(true);
  // The IPC threads run our code: from here on the module stays mapped
  // until the process ends, whatever the game does with its own reference.
  nbase::PinModule();
  return true;
}

void IpcLink::StopIpc(DWORD budgetMs) {
  std::shared_ptr<CIPCChannel> channel;
  {
    nbase::AutoLock hold(lock_);
    channel.swap(channel_);
  }
  if (channel) channel->receive.RequestStop();
  if (receiveThread_.joinable()) receiveThread_.join();
  if (channel) channel->Close(budgetMs);
  started_.store(false);
}

}  // namespace lumo
