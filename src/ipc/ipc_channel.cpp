#include "ipc/ipc_channel.h"

#include <utility>

#include "ipc/shm_layout.h"
#include "nbase/monotonic_clock.h"

namespace lumo {

namespace {

// Shutdown of a channel destroyed without Close: only what is already
// due goes out.
constexpr DWORD kDestructionBudgetMs = 0;

}  // namespace

CIPCChannel::CIPCChannel() {
  sender.postGuard = [this] { return !closed.load(); };
}

CIPCChannel::~CIPCChannel() { Close(kDestructionBudgetMs); }

CIPCChannel::SendResult CIPCChannel::Send(const std::string& target, std::string payload) {
  // Such messages would only be dropped by the sender after the caller had
  // been told they were on their way.
  if (target.empty()) return SendResult::NoTarget;
  if (payload.empty()) return SendResult::EmptyEnvelope;
  if (payload.size() > kShmMaxPayload) return SendResult::TooLarge;
  return sender.Queue(target, std::move(payload));
}

bool CIPCChannel::Close(DWORD budgetMs, bool receiveEnded) {
  bool wasClosed = false;
  sender.ShutPosts([this, &wasClosed] { wasClosed = closed.exchange(true); });
  if (wasClosed) return !sender.running();
  receive.RequestStop();
  if (receiveEnded && receive.endpoint.status == ShmStatus::Ok) receive.endpoint.Close();
  // Messages queued before the door closed are still delivered, as far as
  // the budget allows.
  sender.SetDeadline(nbase::SteadyNowMs() + budgetMs);
  if (!sender.running()) return true;
  return sender.Stop(budgetMs + kSenderStopMarginMs);
}

}  // namespace lumo
