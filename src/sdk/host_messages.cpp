#include "sdk/host_messages.h"

#include <nlohmann/json.hpp>

#include <utility>

#include "diag/log.h"
#include "diag/strict_json.h"
#include "ipc/envelope.h"
#include "ipc/ipc_link.h"
#include "ipc/ipc_names.h"

namespace lumo {

std::string SerializeStringArray(std::initializer_list<std::string> items) {
  nlohmann::json array = nlohmann::json::array();
  for (const std::string& item : items) array.push_back(item);
  return DumpCompactJson(array);
}

std::string BuildWndReadyBody(int64_t gameId, HWND gameWnd, const std::string& channelName) {
  const uint64_t handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(gameWnd));
  return SerializeStringArray({std::to_string(gameId), std::to_string(handle), channelName});
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

bool PostMessageToHost(SdkContext& ctx, const char* msg, const std::function<std::string()>& makeBody) {
  try {
    return PostToHost(ctx, ctx.ipc, BuildEnvelope(msg, makeBody()));
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

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

}  // namespace lumo
