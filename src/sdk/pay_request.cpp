// The payment request: the work behind lumoShowPay. Any thread; never waits
// for the host.
#include <string>

#include "diag/log.h"
#include "ipc/ipc_names.h"
#include "sdk/host_messages.h"
#include "sdk/operations.h"

namespace lumo {

std::string BuildShowPayBody(int64_t gameId, const std::string& payText) {
  return SerializeStringArray({std::to_string(gameId), payText});
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
