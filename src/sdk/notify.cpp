#include "sdk/notify.h"

#include <nlohmann/json.hpp>

#include <utility>

#include "diag/log.h"
#include "diag/strict_json.h"
#include "ipc/envelope.h"
#include "ipc/ipc_link.h"
#include "ipc/ipc_names.h"
#include "sdk/operations.h"

namespace lumo {

namespace {

std::string SerializeStrings(std::initializer_list<std::string> items) {
  nlohmann::json array = nlohmann::json::array();
  for (const std::string& item : items) array.push_back(item);
  return DumpCompactJson(array);
}

}  // namespace

std::string BuildWndReadyBody(int64_t gameId, HWND gameWnd, const std::string& channelName) {
  const uint64_t handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(gameWnd));
  return SerializeStrings({std::to_string(gameId), std::to_string(handle), channelName});
}

std::string BuildShowPayBody(int64_t gameId, const std::string& payText) {
  return SerializeStrings({std::to_string(gameId), payText});
}

bool PostToHost(SdkContext& ctx, IpcLink& link, std::string envelope) {
  if (ctx.launchParams.hostPipe[0] == '\0') return false;
  switch (link.Send(std::string(ctx.launchParams.hostPipe), std::move(envelope))) {
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

namespace {

// Wraps the body in its envelope and hands it to the sender. False when the
// body cannot be built (text not UTF-8), the envelope would not fit the host
// channel, the sender's queue is full, or there is no link or host pipe.
template <typename MakeBody>
bool PostMessageToHost(SdkContext& ctx, const char* msg, MakeBody makeBody) {
  try {
    return PostToHost(ctx, ctx.ipc, BuildEnvelope(msg, makeBody()));
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace

SdkError NotifyHostWndReady(SdkContext& ctx) {
  if (ctx.launchParams.hostPipe[0] == '\0') return SdkError_Ok;
  const bool posted = PostMessageToHost(ctx, kMsgGameWndReady, [&ctx] {
    return BuildWndReadyBody(ctx.launchParams.gameId, ctx.gameWnd, std::string(ctx.launchParams.channelName));
  });
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
  const bool posted = PostMessageToHost(ctx, kMsgShowPay, [&ctx, text] {
    return BuildShowPayBody(ctx.launchParams.gameId, std::string(text ? text : ""));
  });
  if (!posted) {
    SdkLog(L"ShowPay failed err=%d (IpcPostFailed)", SdkError_IpcPostFailed);
    return SdkError_IpcPostFailed;
  }
  SdkLog(L"ShowPay success");
  return SdkError_Ok;
}

}  // namespace lumo
