#include "sdk/sdk_context.h"

namespace lumo {

SdkContext& GetSdkContext() {
  // Constructed once, also when several threads make the first call together.
  static SdkContext ctx;
  return ctx;
}

}  // namespace lumo
