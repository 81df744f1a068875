// The work behind the exports. All run on the game's window thread with the
// process's SdkContext; none takes a lock.
#pragma once

#include "sdk/sdk_context.h"

namespace lumo {

SdkError Init(SdkContext& ctx);                     // lumoGameInit
SdkError Login(SdkContext& ctx);                    // lumoGameLogin
SdkError ShowPay(SdkContext& ctx, const char* text); // lumoShowPay
void Uninit(SdkContext& ctx);                       // lumoGameUninit

}  // namespace lumo
