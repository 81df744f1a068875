#include "ipc/ipc_channel.h"

#include "nbase/monotonic_clock.h"

namespace lumo {

CIPCChannel::CIPCChannel() = default;

CIPCChannel::~CIPCChannel() { Close(kDestructionBudgetMs); }

bool CIPCChannel::Close(DWORD budgetMs, bool receiveEnded) {
  if (sender.ShutPosts()) return !sender.running();
  receive.RequestStop();
  if (receiveEnded && receive.endpoint.status == ShmStatus::Ok) receive.endpoint.Close();
  // Messages queued before the door closed are still delivered, as far as
  // the budget allows.
  sender.SetDeadline(nbase::SteadyNowMs() + budgetMs);
  if (!sender.running()) return true;
  return sender.Stop(budgetMs + kSenderStopMarginMs);
}

}  // namespace lumo
