// The work behind the exports. All run on the game's window thread with the
// process's SdkContext; none takes a lock.
#pragma once

#include "sdk/sdk_context.h"

namespace lumo {

SdkError Init(SdkContext& ctx);                     // lumoGameInit
SdkError Login(SdkContext& ctx);                    // lumoGameLogin
// lumoShowPay: 0, -6 before a successful Init and login, -5 when the
// request cannot be built (text not UTF-8), would not fit the host channel
// (envelope over 2044 bytes), or there is nowhere to send it.
SdkError ShowPay(SdkContext& ctx, const char* text);
void Uninit(SdkContext& ctx);                       // lumoGameUninit

}  // namespace lumo
