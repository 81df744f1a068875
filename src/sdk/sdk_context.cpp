#include "sdk/sdk_context.h"

namespace lumo {

SdkContext& GetSdkContext() {
  // Constructed once, also when several threads make the first call together.
  static SdkContext ctx;
  return ctx;
}

bool EnsureLaunchParamsLoaded(SdkContext& ctx) {
  if (ctx.launchParamsLoaded) return true;
  ctx.launchParams = LoadLaunchParams();
  ctx.hostTarget = ctx.launchParams.hostPipe;
  ctx.launchParamsLoaded = true;
  return true;
}

}  // namespace lumo
