#include "sdk/notify.h"

#include <cstring>
#include <utility>

#include "diag/log.h"
#include "ipc/host_requests.h"
#include "ipc/ipc_link.h"
#include "ipc/ipc_names.h"
#include "sdk/operations.h"

namespace lumo {

bool PostToHost(SdkContext& ctx, IpcLink& link, std::string envelope) {
  if (ctx.launchParams.hostPipe[0] == '\0') return false;
  switch (link.Send(ctx.hostTarget, std::move(envelope))) {
    case CIPCChannel::SendResult::Queued:
      return true;
    case CIPCChannel::SendResult::Full:
      SdkLog(L"PostToHost: %u messages already wait for the host; this one is refused",
             static_cast<unsigned>(kMaxQueuedMessages));
      return false;
    case CIPCChannel::SendResult::Closed:
    case CIPCChannel::SendResult::TooLarge:
      break;
  }
  return false;
}

SdkError NotifyHostWndReady(SdkContext& ctx) {
  if (ctx.launchParams.hostPipe[0] == '\0') return SdkError_Ok;
  const char* channel = ctx.launchParams.channelName;
  const uint64_t handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(ctx.gameWnd));
  // An empty envelope (the channel name is not UTF-8) is refused by the link.
  const bool posted = PostToHost(
      ctx, ctx.ipc, BuildWndReadyEnvelope(ctx.launchParams.gameId, handle, channel, std::strlen(channel)));
  if (!posted) {
    SdkLog(L"NotifyHostWndReady failed err=%d (IpcPostFailed)", SdkError_IpcPostFailed);
    return SdkError_IpcPostFailed;
  }
  return SdkError_Ok;
}

SdkError ShowPay(SdkContext& ctx, const char* text) {
  if (!ctx.initialised || !ctx.loggedIn) {
    SdkLog(L"ShowPay failed err=%d (NotInitialized)", SdkError_NotInitialized);
    return SdkError_NotInitialized;
  }
  if (text == nullptr) text = "";
  // An empty envelope (the text is not UTF-8) is refused by the link.
  const bool posted =
      PostToHost(ctx, ctx.ipc, BuildShowPayEnvelope(ctx.launchParams.gameId, text, std::strlen(text)));
  if (!posted) {
    SdkLog(L"ShowPay failed err=%d (IpcPostFailed)", SdkError_IpcPostFailed);
    return SdkError_IpcPostFailed;
  }
  SdkLog(L"ShowPay success");
  return SdkError_Ok;
}

}  // namespace lumo
