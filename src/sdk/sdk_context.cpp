#include "sdk/sdk_context.h"

namespace lumo {

SdkContext& GetSdkContext() {
  // Constructed once, also when several threads make the first call together.
  static SdkContext ctx;
  return ctx;
}

void EnsureLaunchParamsLoaded(SdkContext& ctx) {
  if (ctx.launchParamsLoaded) return;
  ctx.launchParams = LoadLaunchParams();
  ctx.hostTarget = ctx.launchParams.hostPipe;
  ctx.launchParamsLoaded = true;
}

}  // namespace lumo
