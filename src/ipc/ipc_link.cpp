#include "ipc/ipc_link.h"

#include <utility>

#include "diag/log.h"
#include "ipc/shm_layout.h"
#include "nbase/monotonic_clock.h"

namespace lumo {

IpcLink::IpcLink() = default;

IpcLink::~IpcLink() {
  if (!started_.load()) return;  // no thread of ours runs: release normally
  // The system has ended the IPC threads already: nothing may wait for them
  // or free what they used, so the run goes with them, unreleased.
  std::shared_ptr<Run> run;
  {
    nbase::AutoLock hold(lock_);
    run.swap(run_);
  }
  if (!run) return;
  if (receiveThread_) LeaveRunning(*receiveThread_, run);
  LeaveRunning(run->sender, run);
}

bool IpcLink::LeaveRunning(nbase::Thread& thread, const std::shared_ptr<Run>& run) {
  // The share is dropped by the thread's late step, after its body: the run
  // is freed by the last of its threads to end (and never, for a thread the
  // process exit has ended already).
  return thread.LetGo([run] {});
}

std::shared_ptr<IpcLink::Run> IpcLink::current() const {
  nbase::AutoLock hold(lock_);
  return run_;
}

std::shared_ptr<CIpcSender> IpcLink::sender() const {
  const std::shared_ptr<Run> run = current();
  if (!run) return nullptr;
  return std::shared_ptr<CIpcSender>(run, &run->sender);
}

SendResult IpcLink::Send(const std::string& target, std::string payload) {
  const std::shared_ptr<Run> run = current();
  if (!run) return SendResult::NotRunning;
  // Such messages would only be dropped by the sender after the caller had
  // been told they were on their way.
  if (target.empty()) return SendResult::NoTarget;
  if (payload.empty()) return SendResult::EmptyEnvelope;
  if (payload.size() > kShmMaxPayload) return SendResult::TooLarge;
  // The door and the outbox's room are read under the outbox's lock, in one
  // step with the queueing: Closed, Full or Queued.
  return run->sender.Queue(target, std::move(payload));
}

bool IpcLink::StartIpc(const std::string& name, HWND hostWindow, const std::string& firstTarget) {
  if (started_.load()) return true;
  createFailure_ = IpcCreateFailure{};
  if (name.empty()) {
    createFailure_.status = ShmStatus::InvalidName;
    return false;
  }

  auto run = std::make_shared<Run>();
  run->receive.endpoint = ShmEndpoint::Create(name.c_str());
  if (run->receive.endpoint.status != ShmStatus::Ok) {
    createFailure_ = IpcCreateFailure{run->receive.endpoint.status, GetLastError()};
    return false;
  }
  run->sender.set_host_window(hostWindow);
  run->sender.set_first_target(firstTarget);
  if (!run->sender.StartSending()) {
    SdkLog(L"IpcLink: the library's threads could not start within %u ms; lumoGameInit belongs outside "
           L"DllMain, where the loader lock keeps new threads from starting: call it from the game's window thread",
           static_cast<unsigned>(nbase::kThreadStartBoundMs));
    StopSender(run, 0, true);
    return false;
  }

  // Uses the run without a reference of its own: StopIpc ends it before the
  // run is released, or lets it go with a share of it.
  std::unique_ptr<nbase::Thread> receiving(new nbase::Thread);
  ReceiveChannel* part = &run->receive;
  if (!receiving->Create([part] { part->ReceiveLoop(); })) {
    SdkLog(L"IpcLink: the receive thread could not be created");
    StopSender(run, 0, true);
    return false;
  }
  receiveThread_ = std::move(receiving);
  {
    nbase::AutoLock hold(lock_);
    run_ = std::move(run);
  }
  // From here on StopIpc (or, at process exit, the destructor) has threads
  // to end.
  started_.store(true);
  return true;
}

void IpcLink::StopIpc(DWORD budgetMs) {
  std::shared_ptr<Run> run;
  {
    nbase::AutoLock hold(lock_);
    run.swap(run_);
  }
  // 1. The receive loop, within kReceiveStopBoundMs. A loop that has not
  // begun is cancelled; one that is serving a message returns after it.
  if (run) run->receive.RequestStop();
  bool receiveEnded = true;
  if (receiveThread_) {
    receiveEnded = receiveThread_->Join(kReceiveStopBoundMs);
    if (!receiveEnded) {
      SdkLog(L"IpcLink: the receive thread did not stop within %u ms; it is left running, holding the channel until it ends",
             static_cast<unsigned>(kReceiveStopBoundMs));
      receiveEnded = !(run && LeaveRunning(*receiveThread_, run));
    }
    receiveThread_.reset();
  }
  // 2. The sender: its delivery within `budgetMs`, its clean-up within
  // kSenderStopMarginMs.
  if (run) StopSender(run, budgetMs, receiveEnded);
  started_.store(false);
}

void IpcLink::StopSender(const std::shared_ptr<Run>& run, DWORD budgetMs, bool receiveEnded) {
  // The door first: a send racing the stop is either queued before it, and
  // delivered as far as the budget allows, or refused.
  run->sender.ShutPosts();
  run->receive.RequestStop();
  // A receive loop that may still read its channel keeps it; the run then
  // closes it when the loop's thread lets go of its share.
  if (receiveEnded && run->receive.endpoint.status == ShmStatus::Ok) run->receive.endpoint.Close();
  run->sender.SetDeadline(nbase::SteadyNowMs() + budgetMs);
  if (!run->sender.running() || run->sender.Stop(budgetMs + kSenderStopMarginMs)) return;
  SdkLog(L"IpcLink: the sender thread did not stop within %u ms; it is left running, holding the channel until it ends",
         static_cast<unsigned>(budgetMs + kSenderStopMarginMs));
  LeaveRunning(run->sender, run);
}

}  // namespace lumo
