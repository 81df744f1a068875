#include "ipc/ipc_link.h"

#include <utility>

#include "diag/log.h"
#include "nbase/thread.h"

namespace lumo {

namespace {

// Lets `thread`, which still runs on `channel`, go with a share of the
// channel: the channel is released by the last of its threads to end (and
// never, for a thread the process exit has ended already). False when the
// thread's body had returned after all.
bool LeaveRunning(nbase::Thread& thread, const std::shared_ptr<CIPCChannel>& channel) {
  return thread.LetGo([channel] {});
}

}  // namespace

IpcLink::IpcLink() = default;

IpcLink::~IpcLink() {
  if (!started_.load()) return;  // no thread of ours runs: release normally
  // The system has ended the IPC threads already: nothing may wait for them
  // or free what they used, so the channel goes with them, unreleased.
  std::shared_ptr<CIPCChannel> channel;
  {
    nbase::AutoLock hold(lock_);
    channel.swap(channel_);
  }
  if (!channel) return;
  if (receiveThread_) LeaveRunning(*receiveThread_, channel);
  LeaveRunning(channel->sender, channel);
}

std::shared_ptr<CIPCChannel> IpcLink::channel() const {
  nbase::AutoLock hold(lock_);
  return channel_;
}

CIPCChannel::SendResult IpcLink::Send(const std::string& target, std::string payload) {
  const std::shared_ptr<CIPCChannel> channel = this->channel();
  if (!channel) return CIPCChannel::SendResult::NotRunning;
  return channel->sender.Queue(target, std::move(payload));
}

bool IpcLink::StartIpc(const std::string& name, HWND hostWindow, const std::string& firstTarget) {
  if (started_.load()) return true;
  createFailure_ = IpcCreateFailure{};
  if (name.empty()) {
    createFailure_.status = ShmStatus::InvalidName;
    return false;
  }

  auto channel = std::make_shared<CIPCChannel>();
  channel->receive.endpoint = ShmEndpoint::Create(name.c_str());
  if (channel->receive.endpoint.status != ShmStatus::Ok) {
    createFailure_ = IpcCreateFailure{channel->receive.endpoint.status, GetLastError()};
    return false;
  }
  channel->sender.set_host_window(hostWindow);
  channel->sender.set_first_target(firstTarget);
  if (!channel->sender.StartSending()) {
    SdkLog(L"IpcLink: the library's threads could not start within %u ms; lumoGameInit belongs outside "
           L"DllMain, where the loader lock keeps new threads from starting: call it from the game's window thread",
           static_cast<unsigned>(nbase::kThreadStartBoundMs));
    if (!channel->Close(0)) LeaveRunning(channel->sender, channel);
    return false;
  }

  // Uses the channel without a reference of its own: StopIpc ends it before
  // the channel is closed and released, or lets it go with a share of it.
  std::unique_ptr<nbase::Thread> receiving(new nbase::Thread);
  ReceiveChannel* part = &channel->receive;
  if (!receiving->Create([part] { part->ReceiveLoop(); })) {
    SdkLog(L"IpcLink: the receive thread could not be created");
    if (!channel->Close(0)) LeaveRunning(channel->sender, channel);
    return false;
  }
  receiveThread_ = std::move(receiving);
  {
    nbase::AutoLock hold(lock_);
    channel_ = std::move(channel);
  }
  // From here on StopIpc (or, at process exit, the destructor) has threads
  // to end.
  started_.store(true);
  return true;
}

void IpcLink::StopIpc(DWORD budgetMs) {
  std::shared_ptr<CIPCChannel> channel;
  {
    nbase::AutoLock hold(lock_);
    channel.swap(channel_);
  }
  if (channel) channel->receive.RequestStop();
  bool receiveEnded = true;
  if (receiveThread_) {
    // A loop that has not begun is cancelled; one that is serving a message
    // returns after it.
    receiveEnded = receiveThread_->Join(kReceiveStopBoundMs);
    if (!receiveEnded) {
      SdkLog(L"IpcLink: the receive thread did not stop within %u ms; it is left running, holding the channel until it ends",
             static_cast<unsigned>(kReceiveStopBoundMs));
      receiveEnded = !LeaveRunning(*receiveThread_, channel);
    }
    receiveThread_.reset();
  }
  if (channel) {
    const bool senderEnded = channel->Close(budgetMs, receiveEnded);
    if (!senderEnded) {
      SdkLog(L"IpcLink: the sender thread did not stop within %u ms; it is left running, holding the channel until it ends",
             static_cast<unsigned>(budgetMs + kSenderStopMarginMs));
      LeaveRunning(channel->sender, channel);
    }
  }
  started_.store(false);
}

}  // namespace lumo
