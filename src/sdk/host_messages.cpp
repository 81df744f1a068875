#include "sdk/host_messages.h"

#include <cstring>
#include <utility>

#include "diag/log.h"
#include "ipc/host_requests.h"
#include "ipc/ipc_link.h"

namespace lumo {

SendResult PostToHost(SdkContext& ctx, std::string envelope) {
  // An empty target (no --lumo-pipe) is refused by the link as NoTarget.
  return ctx.ipc.Send(ctx.hostTarget, std::move(envelope));
}

SdkError NotifyHostWndReady(SdkContext& ctx) {
  if (ctx.launchParams.hostPipe[0] == '\0') return SdkError_Ok;
  const char* channel = ctx.launchParams.channelName;
  const uint64_t handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(ctx.gameWnd));
  // An empty envelope (the channel name is not UTF-8) is refused by the link.
  const SendResult posted = PostToHost(
      ctx, BuildWndReadyEnvelope(ctx.launchParams.gameId, handle, channel, std::strlen(channel)));
  if (posted != SendResult::Queued) {
    SdkLog(L"NotifyHostWndReady failed err=%d (IpcPostFailed): %ls", SdkError_IpcPostFailed, SendResultText(posted));
    return SdkError_IpcPostFailed;
  }
  return SdkError_Ok;
}

}  // namespace lumo
