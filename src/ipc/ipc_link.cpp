#include "ipc/ipc_link.h"

#include <utility>

#include "diag/log.h"
#include "nbase/module_pin.h"
#include "nbase/thread.h"

namespace lumo {

// Serves the library's own channel. Uses the channel without a reference of
// its own: StopIpc ends it before the channel is closed and released, or
// leaves both to the process exit.
class ReceiveThread : public nbase::Thread {
 public:
  explicit ReceiveThread(ReceivePart& part) : part_(part) {}
  ~ReceiveThread() override { Join(); }
  void Run() override { part_.ReceiveLoop(); }

 private:
  ReceivePart& part_;
};

namespace {

// Keeps `channel` (and what still runs on it) until the process ends.
void LeaveToProcessExit(std::shared_ptr<CIPCChannel> channel) {
  if (channel) new std::shared_ptr<CIPCChannel>(std::move(channel));
}

}  // namespace

IpcLink::IpcLink() = default;

IpcLink::~IpcLink() {
  if (!started_.load()) return;  // no thread of ours runs: release normally
  // The system has ended the IPC threads already: nothing may wait for them
  // or free what they used.
  receiveThread_.release();
  nbase::AutoLock hold(lock_);
  // Deliberately leaked: its destructor would stop a sender thread that no
  // longer exists.
  LeaveToProcessExit(std::move(channel_));
}

std::shared_ptr<CIPCChannel> IpcLink::channel() const {
  nbase::AutoLock hold(lock_);
  return channel_;
}

CIPCChannel::SendResult IpcLink::Send(const std::string& target, std::string payload) {
  const std::shared_ptr<CIPCChannel> channel = this->channel();
  if (!channel) return CIPCChannel::SendResult::NotRunning;
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
    SdkLog(L"IpcLink: the library's threads could not start within %u ms; lumoGameInit belongs outside "
           L"DllMain, where the loader lock keeps new threads from starting: call it from the game's window thread",
           static_cast<unsigned>(nbase::kThreadStartBoundMs));
    if (!channel->Close(0)) LeaveToProcessExit(std::move(channel));
    return false;
  }

  std::unique_ptr<ReceiveThread> receiving(new ReceiveThread(channel->receive));
  if (!receiving->Create()) {
    SdkLog(L"IpcLink: the receive thread could not be created");
    if (!channel->Close(0)) LeaveToProcessExit(std::move(channel));
    return false;
  }
  receiveThread_ = std::move(receiving);
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
  bool receiveEnded = true;
  if (receiveThread_) {
    // A loop that has not begun is cancelled; one that is serving a message
    // returns after it.
    receiveEnded = receiveThread_->Join(kReceiveStopBoundMs);
    if (receiveEnded) {
      receiveThread_.reset();
    } else {
      SdkLog(L"IpcLink: the receive thread did not stop within %u ms; it is left running until the process ends",
             static_cast<unsigned>(kReceiveStopBoundMs));
      receiveThread_.release();  // its body still uses it
    }
  }
  if (channel) {
    const bool senderEnded = channel->Close(budgetMs, receiveEnded);
    if (!senderEnded) {
      SdkLog(L"IpcLink: the sender thread did not stop within %u ms; it is left running until the process ends",
             static_cast<unsigned>(budgetMs + kSenderStopMarginMs));
    }
    if (!senderEnded || !receiveEnded) LeaveToProcessExit(std::move(channel));
  }
  started_.store(false);
}

}  // namespace lumo
