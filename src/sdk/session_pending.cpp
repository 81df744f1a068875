// Interim operations until the IPC session (window search, embedding,
// notifications, shutdown) is built. They keep the exports' contracts for
// what exists: launch parameters are read, and nothing reports success that
// did not happen.
#include "diag/log.h"
#include "launch/launch_params.h"
#include "sdk/operations.h"

namespace lumo {

SdkError Init(SdkContext& ctx) {
  if (ctx.initialised) {
    SdkLog(L"Init already OK");
    return SdkError_Ok;
  }
  if (!EnsureLaunchParamsLoaded(ctx)) {
    SdkLog(L"EnsureLaunchParamsLoaded failed err=%d (LaunchParamsFailed)", SdkError_LaunchParamsFailed);
    return SdkError_LaunchParamsFailed;
  }
  // The IPC link does not exist yet.
  SdkLog(L"Init failed err=%d (IpcGameStartFailed)", SdkError_IpcGameStartFailed);
  return SdkError_IpcGameStartFailed;
}

SdkError ShowPay(SdkContext& ctx, const char*) {
  if (!ctx.initialised || !ctx.loggedIn) {
    SdkLog(L"ShowPay failed err=%d (NotInitialized)", SdkError_NotInitialized);
    return SdkError_NotInitialized;
  }
  return SdkError_IpcPostFailed;
}

void Uninit(SdkContext&) {}

}  // namespace lumo
